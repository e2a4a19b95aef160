#pragma once

#include "app/CommandLine.h"
#include "send/SendRun.h"

#include <iosfwd>
#include <optional>
#include <string>

namespace turnpost {

struct CollectOutcome;
struct OrdersInFolder;

/// Why --check, --status, --resend-failed, --collect, --remind, --turn-done, --force or --json do not fit the
/// other words; empty when they do.
std::string TurnCommandConflict(const CommandLineOptions& options);

/// --check FILE: the check of a send run, one line per selected player and one for the server on standard
/// output (or JSON). 0 only when a real run would mail everybody.
int RunCheck(const std::string& setupPath, bool json);

/// --status FILE: each selected player's last result and time in the ledger for the host file's
/// current year, then whether his orders are in (OrdersInText). 0 when every selected player has had
/// this year's turn; the orders do not change it. With htmlPage, the same news for the players is
/// also written there as a page (1 when it cannot be written).
int PrintDeliveryStatus(const std::string& setupPath,
                        const std::optional<std::string>& htmlPage = std::nullopt);

/// The lines --status adds for the orders in the game folder: per selected player whether his orders
/// for the host file's turn are there, and why a file that is there does not count; one line instead
/// when the host file cannot be read or is in use.
std::string OrdersInText(const GameSetup& setup, const OrdersInFolder& orders);

/// --collect FILE: the orders from the setup's mailbox; one line per message and the summary on
/// standard output (or JSON), errors on standard error. 0 when the collection ran, refused orders
/// included.
int RunCollect(const std::string& setupPath, bool json);

/// --remind FILE: a reminder to each selected player whose orders are not in (see OnRemind); one line
/// per player on standard output (or JSON), errors on standard error. 0 when every due reminder went
/// out, none due included.
int RunRemind(const std::string& setupPath, bool force, bool json);

/// --turn-done's status when it cannot tell: 1 means "not yet", so a script must be able to tell a
/// broken setup or a host file being written from a turn still open.
constexpr int TurnDoneUnknown = 3;

/// --turn-done FILE: one line saying whether the turn may be generated, and the host's notice when it
/// is due. 0 done (all orders in, or the deadline passed), 1 waiting, TurnDoneUnknown when it cannot be
/// told.
int RunTurnDone(const std::string& setupPath);
/// --generate FILE: the next turn from the setup's GenerateCommand (GenerateTurn); one line per step on
/// standard output, the error on standard error. 0 when the host file moved on.
int RunGenerate(const std::string& setupPath);

/// --advance's status while orders are awaited: 1 is a failed step, which a script must tell apart
/// from a turn that is merely still open.
constexpr int AdvanceWaiting = 4;

/// --advance FILE: collect, check the turn is done, generate it and send the new turns (OnAdvance); one
/// line per step on standard output. 0 when the new turns went out, 1 when a step failed,
/// AdvanceWaiting while the turn is open.
int RunAdvance(const std::string& setupPath);

/// The outcome of a collection as one JSON object and LF.
void PrintCollectJson(const GameDocument& document, const CollectOutcome& outcome, std::ostream& out);

/// The outcome of a send run as one JSON object and LF.
void PrintOutcomeJson(const GameDocument& document, const SendOutcome& outcome, const std::string& mode,
                      std::ostream& out);

} // namespace turnpost

#pragma once

#include "platform/AppendOnlyFile.h"
#include "send/PlayerAttempt.h"
#include "setup/GameSetup.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace turnpost {

/// The line a send run adds after its players' lines.
struct RunRecord
{
    std::string Time;
    std::uint16_t Year = 0;
    std::string Mode; ///< "send" or "resend-failed"
    int Attempted = 0;
    int Sent = 0;
    bool Cancelled = false;
    std::string Note; ///< why the turn files were not checked, or why nobody was mailed
};

/// One order file a collection found in the mailbox, and what became of it.
struct OrderRecord
{
    std::string Time;
    std::uint16_t Year = 0; ///< the host file's year when it was collected
    int Player = 0;         ///< 1 to 16; 0 when the file named no player
    std::string File;       ///< as the message named it
    std::uint64_t Size = 0;
    std::string Sha256;
    std::string Sender;
    std::string MessageId;
    std::string Result; ///< "taken", "replaced" or "refused"
    std::string Reason; ///< why it was refused or replaced; empty when taken
};

/// A reminder to a player whose orders were not in.
struct ReminderRecord
{
    std::string Time;
    std::uint16_t Year = 0;
    int Player = 0; ///< 1 to 16
    std::string Address;
    std::string Result; ///< the player's line, without its LF
    bool Sent = false;
};

/// The host's notice that a turn is done (all orders in, or the deadline passed).
struct NoticeRecord
{
    std::string Time;
    std::uint16_t Year = 0;
    std::string Text; ///< the notice's subject
    bool Sent = false;
};

/// The ledger beside a saved setup: FILE.tpf.ledger, beside the file its symbolic links lead to, so
/// that every name of one setup shares one ledger; empty for an untitled setup, which has none.
std::string LedgerPath(const GameDocument& document);

/// The record of every mail a setup's send runs have made: JSON Lines, one object per player
/// attempt ("kind": "player"), one per run ("kind": "run"), one per collected order file
/// ("kind": "order"), one per reminder ("kind": "reminder") and one per notice to the host ("kind":
/// "notice"). It is only ever appended to; each
/// line is written whole as it happens, and the run's end puts everything on disk.
class CDeliveryLedger
{
public:
    /// Opens the document's ledger; an untitled setup gets none, and nothing is written.
    explicit CDeliveryLedger(const GameDocument& document);

    void Record(const PlayerAttempt& attempt);
    /// Appends an order's line and syncs the file: the order file is already in the game folder.
    void RecordOrder(const OrderRecord& order);
    /// Reminders and notices are few and each is a mail that went out: synced at once.
    void RecordReminder(const ReminderRecord& reminder);
    void RecordNotice(const NoticeRecord& notice);
    /// Appends the run's line and syncs the file.
    void Finish(const RunRecord& run);

    /// Why the ledger could not be written; empty when all went in (or there is no ledger).
    const std::string& Error() const { return m_Error; }

private:
    void Write(const std::string& line);
    void Sync();

    std::string m_Path;
    CAppendOnlyFile m_File;
    std::string m_Error;
};

/// What a ledger holds, the damaged lines left out.
struct LedgerContents
{
    bool Found = false; ///< the file exists and could be read
    /// The ledger is there but cannot be read (a folder, a FIFO, a link, no permission): "PATH cannot
    /// be read (REASON)". Nothing else is filled; such a ledger is not an empty one.
    std::string Error;
    std::vector<PlayerAttempt> Attempts;
    std::vector<RunRecord> Runs;
    std::vector<OrderRecord> Orders;
    std::vector<ReminderRecord> Reminders;
    std::vector<NoticeRecord> Notices;
    /// One per line that is not a ledger record (a line cut short by a crash, an edit) or holds a
    /// number out of range: skipped.
    std::vector<std::string> Warnings;
};

/// Reads the ledger at path. A ledger that does not exist is empty; one that exists must be a regular
/// file, not a symbolic link (which the writer refuses as well).
LedgerContents ReadLedger(const std::string& path);
/// The records in text, a ledger's content; path names it in the warnings.
LedgerContents ParseLedger(std::string_view text, const std::string& path);

/// One ledger line (without LF) for an attempt, and back; also the per-player entries of --json.
std::string AttemptToJson(const PlayerAttempt& attempt, bool withKind = true);
std::optional<PlayerAttempt> AttemptFromJson(const std::string& line);
std::string RunToJson(const RunRecord& run);
std::optional<RunRecord> RunFromJson(const std::string& line);
std::string OrderToJson(const OrderRecord& order);
std::optional<OrderRecord> OrderFromJson(const std::string& line);
std::string ReminderToJson(const ReminderRecord& reminder);
std::optional<ReminderRecord> ReminderFromJson(const std::string& line);
std::string NoticeToJson(const NoticeRecord& notice);
std::optional<NoticeRecord> NoticeFromJson(const std::string& line);

} // namespace turnpost

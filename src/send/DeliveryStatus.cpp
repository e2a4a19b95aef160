#include "send/DeliveryStatus.h"

#include "game/HostFile.h"
#include "mail/ServerText.h"
#include "send/DeliveryKey.h"
#include "send/DeliveryLedger.h"
#include "send/Placeholders.h"
#include "send/PlayerVerdict.h"

namespace turnpost {

namespace {

/// A result line holds a path and the server's reply, each cut already when it was written.
constexpr std::size_t MaxPrintedLedgerText = 4 * MaxPrintedReply;

} // namespace

DeliveryStatus GetDeliveryStatus(const GameDocument& document)
{
    DeliveryStatus status;
    const GameSetup& setup = document.Setup;
    const std::uint16_t year = ReadGameYear(HostFilePath(setup.UniverseFile));
    const std::string path = LedgerPath(document);
    const LedgerContents ledger = ReadLedger(path);
    status.Warnings = ledger.Warnings;
    if (!ledger.Error.empty())
        status.Warnings.push_back("The delivery ledger " + ledger.Error);
    CAttachmentDigests digests;
    const auto verdicts = JudgeDeliveries(ledger, CurrentDeliveryKeys(setup, digests));

    status.Text = setup.GameName + ", year " + std::to_string(year) + " (" +
                  (path.empty()           ? "an untitled setup keeps no ledger)"
                   : ledger.Found         ? path + ")"
                   : ledger.Error.empty() ? path + ", no ledger yet)"
                                          : path + ", which cannot be read)") +
                  "\n";
    status.Everybody = ledger.Error.empty();
    for (int index = 0; index < PlayerCount; ++index) {
        if (!setup.Players[static_cast<std::size_t>(index)].Selected)
            continue;
        const LedgerVerdict& verdict = verdicts[static_cast<std::size_t>(index)];
        status.Everybody = status.Everybody && verdict.Delivered;
        if (!verdict.Last) {
            status.Text += PlayerPrefix(index + 1) + "not mailed for " + std::to_string(year) + "\n";
            continue;
        }
        // The ledger is a file anyone may edit: what it says goes to a terminal only once made safe.
        status.Text += PrintableText(verdict.Last->Result, MaxPrintedLedgerText) + " (" +
                       PrintableText(verdict.Last->Time, MaxPrintedLedgerText) + ")\n";
    }
    return status;
}

} // namespace turnpost

#include "send/DeliveryStatus.h"

#include "send/DeliveryLedger.h"
#include "send/Placeholders.h"

namespace turnpost {

DeliveryStatus GetDeliveryStatus(const GameDocument& document)
{
    DeliveryStatus status;
    const GameSetup& setup = document.Setup;
    const std::uint16_t year = ReadGameYear(HostFilePath(setup.UniverseFile));
    const std::string path = LedgerPath(document);
    const LedgerContents ledger = ReadLedger(path);
    status.Warnings = ledger.Warnings;
    const auto last = LastAttempts(ledger, year);

    status.Text = setup.GameName + ", year " + std::to_string(year) + " (" +
                  (path.empty() ? "an untitled setup keeps no ledger)"
                                : path + (ledger.Found ? ")" : ", no ledger yet)")) +
                  "\n";
    status.Everybody = true;
    for (int index = 0; index < PlayerCount; ++index) {
        if (!setup.Players[static_cast<std::size_t>(index)].Selected)
            continue;
        const auto& attempt = last[static_cast<std::size_t>(index)];
        if (!attempt) {
            status.Everybody = false;
            status.Text +=
                "[Player " + std::to_string(index + 1) + "] not mailed for " + std::to_string(year) + "\n";
            continue;
        }
        status.Everybody = status.Everybody && attempt->Sent;
        status.Text += attempt->Result + " (" + attempt->Time + ")\n";
    }
    return status;
}

} // namespace turnpost

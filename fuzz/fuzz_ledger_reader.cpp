// Feeds arbitrary bytes to the ledger reader, as a hand-edited or hostile FILE.tpf.ledger. Whatever it
// reads must be a valid record that writes and reads back the same; whatever it skips must be named.
#include "send/DeliveryLedger.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace turnpost;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const LedgerContents contents = ParseLedger(text, "fuzz.ledger");
    for (const PlayerAttempt& attempt : contents.Attempts) {
        if (attempt.Player < 1 || attempt.Player > PlayerCount)
            std::abort();
        const std::string line = AttemptToJson(attempt);
        const auto again = AttemptFromJson(line);
        if (!again || AttemptToJson(*again) != line)
            std::abort();
    }
    for (const RunRecord& run : contents.Runs) {
        const std::string line = RunToJson(run);
        const auto again = RunFromJson(line);
        if (!again || RunToJson(*again) != line)
            std::abort();
    }
    for (const OrderRecord& order : contents.Orders) {
        if (order.Player < 0 || order.Player > PlayerCount)
            std::abort();
        const std::string line = OrderToJson(order);
        const auto again = OrderFromJson(line);
        if (!again || OrderToJson(*again) != line)
            std::abort();
    }
    for (const ReminderRecord& reminder : contents.Reminders) {
        if (reminder.Player < 1 || reminder.Player > PlayerCount)
            std::abort();
        const std::string line = ReminderToJson(reminder);
        const auto again = ReminderFromJson(line);
        if (!again || ReminderToJson(*again) != line)
            std::abort();
    }
    for (const NoticeRecord& notice : contents.Notices) {
        const std::string line = NoticeToJson(notice);
        const auto again = NoticeFromJson(line);
        if (!again || NoticeToJson(*again) != line)
            std::abort();
    }
    for (const std::string& warning : contents.Warnings)
        if (warning.rfind("fuzz.ledger:", 0) != 0)
            std::abort();
    return 0;
}

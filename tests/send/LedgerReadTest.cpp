#include "send/DeliveryLedger.h"
#include "send/DeliveryStatus.h"
#include "send/SendRun.h"

#include "support/GameFiles.h"
#include "support/PythonSmtpServer.h"
#include "support/RecordingUserInterface.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace turnpost {
namespace {

using test::RecordingUserInterface;
using test::TempDir;

const char* const GoodAttempt =
    R"({"kind":"player","time":"2026-12-10T14:00:01Z","year":2442,"game":7,"turn":42,"player":1,)"
    R"("address":"p1@example.org","files":[{"path":"/g/g.m1","size":30,"sha256":"ab"}],)"
    R"("result":"[Player 1] Sent OK","sent":true,"reply":"250 ok"})";

TEST(LedgerRead, NumbersOutOfRangeSkipTheirLine)
{
    const std::string good = GoodAttempt;
    const auto with = [&](const std::string& from, const std::string& to) {
        std::string line = good;
        line.replace(line.find(from), from.size(), to);
        return line;
    };
    const std::string run = R"({"kind":"run","time":"t","year":2442,"attempted":4,"sent":3})";
    struct Case
    {
        std::string line;
        std::string warning; ///< empty: the line is read
    };
    const Case cases[] = {
        {good, ""},
        {with("\"year\":2442", "\"year\":67978"), "year out of range"},
        {with("\"year\":2442", "\"year\":1e300"), "year out of range"},
        {with("\"year\":2442", "\"year\":-1"), "year out of range"},
        {with("\"year\":2442", "\"year\":2442.5"), "year out of range"},
        {with("\"year\":2442", "\"year\":65535"), ""},
        {with("\"game\":7", "\"game\":4294967296"), "game out of range"},
        {with("\"turn\":42", "\"turn\":65536"), "turn out of range"},
        {with("\"player\":1", "\"player\":17"), "player out of range"},
        {with("\"player\":1", "\"player\":0"), "player out of range"},
        {with("\"size\":30", "\"size\":1e300"), "size out of range"},
        {with("\"size\":30", "\"size\":18446744073709551615"), ""},
        {with("\"year\":2442", "\"year\":\"2442\""), "not a ledger record"},
        {with("\"kind\":\"player\"", "\"kind\":5"), "not a ledger record"},
        {run, ""},
        {R"({"kind":"run","time":"t","year":2442,"attempted":1e300})", "attempted out of range"},
        {R"({"kind":"run","time":"t","year":2442,"sent":-3})", "sent out of range"},
        {R"({"kind":"run","time":"t","year":99999})", "year out of range"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const LedgerContents contents = ParseLedger(c.line + "\n" + good + "\n", "L");
        const std::size_t read = contents.Attempts.size() + contents.Runs.size();
        if (c.warning.empty()) {
            EXPECT_EQ(read, 2u);
            EXPECT_TRUE(contents.Warnings.empty());
        } else {
            EXPECT_EQ(read, 1u);
            EXPECT_EQ(contents.Warnings, std::vector<std::string>{"L:1: " + c.warning + ", skipped"});
        }
    }
    const LedgerContents contents = ParseLedger(good, "L");
    ASSERT_EQ(contents.Attempts.size(), 1u);
    EXPECT_EQ(contents.Attempts[0].GameId, 7u);
    EXPECT_EQ(contents.Attempts[0].Turn, 42);
    // Lines of older versions carry neither.
    const LedgerContents older = ParseLedger(with("\"game\":7,\"turn\":42,", ""), "L");
    ASSERT_EQ(older.Attempts.size(), 1u);
    EXPECT_FALSE(older.Attempts[0].GameId);
    EXPECT_FALSE(older.Attempts[0].Turn);
}

TEST(LedgerRead, ASetupReachedThroughALinkSharesTheRealFilesLedger)
{
    TempDir dir;
    dir.Write("real.tpf", "setup");
    ASSERT_EQ(::symlink("real.tpf", dir.File("link.tpf").c_str()), 0);
    GameDocument document;
    document.FilePath = dir.File("link.tpf");
    EXPECT_EQ(LedgerPath(document), dir.File("real.tpf.ledger"));
}

/// Every way a ledger can be there and still not be read.
void MakeUnreadableLedgers(const TempDir& dir)
{
    ::mkdir(dir.File("folder.tpf.ledger").c_str(), 0755);
    ::mkfifo(dir.File("fifo.tpf.ledger").c_str(), 0600);
    ::chmod(dir.Write("locked.tpf.ledger", std::string(GoodAttempt) + "\n").c_str(), 0);
    ::symlink("nowhere", dir.File("dangling.tpf.ledger").c_str());
    ::symlink("/dev/null", dir.File("null.tpf.ledger").c_str());
}

struct UnreadableLedger
{
    const char* setup;
    const char* reason;
};

const UnreadableLedger UnreadableLedgers[] = {
    {"folder.tpf", "not a regular file"}, {"fifo.tpf", "not a regular file"},
    {"locked.tpf", "Permission denied"},  {"dangling.tpf", "a symbolic link"},
    {"null.tpf", "a symbolic link"},
};

TEST(LedgerRead, ALedgerThatIsThereButCannotBeReadIsNoEmptyLedger)
{
    TempDir dir;
    MakeUnreadableLedgers(dir);
    for (const UnreadableLedger& c : UnreadableLedgers) {
        SCOPED_TRACE(c.setup);
        if (std::string(c.reason) == "Permission denied" && ::geteuid() == 0)
            continue; // root reads it anyway
        const std::string path = dir.File(std::string(c.setup) + ".ledger");
        const LedgerContents contents = ReadLedger(path);
        EXPECT_EQ(contents.Error, path + " cannot be read (" + c.reason + ")");
        EXPECT_FALSE(contents.Found);
    }
    const LedgerContents missing = ReadLedger(dir.File("missing.tpf.ledger"));
    EXPECT_EQ(missing.Error, "");
    EXPECT_FALSE(missing.Found);
}

TEST(LedgerRead, AResendWithALedgerThatCannotBeReadMailsNobody)
{
    test::PythonSmtpServer server({});
    ASSERT_TRUE(server.IsRunning()) << server.Error();
    TempDir dir;
    MakeUnreadableLedgers(dir);
    for (const UnreadableLedger& c : UnreadableLedgers) {
        SCOPED_TRACE(c.setup);
        if (std::string(c.reason) == "Permission denied" && ::geteuid() == 0)
            continue;
        GameDocument document;
        document.FilePath = dir.Write(c.setup, "setup");
        document.CommandLineRun = 1;
        document.Setup.SmtpServer = server.Address();
        document.Setup.ReturnAddress = "host@example.org";
        for (int index = 0; index < 3; ++index)
            document.Setup.Players[static_cast<std::size_t>(index)] = {1, "p@example.org", ""};
        RecordingUserInterface ui(&document);
        ui.FillRows();

        const SendOutcome outcome = OnResendFailed(document, ui);
        EXPECT_FALSE(outcome.Started);
        EXPECT_FALSE(outcome.Succeeded());
        ASSERT_EQ(ui.Messages.size(), 1u);
        EXPECT_EQ(ui.Messages[0].Text, "Nobody resent: the delivery ledger " + document.FilePath +
                                           ".ledger cannot be read (" + c.reason + ")");
        EXPECT_TRUE(server.Record().Messages.empty());

        // The status says so too, and does not call everybody served.
        const DeliveryStatus status = GetDeliveryStatus(document);
        EXPECT_FALSE(status.Everybody);
        EXPECT_EQ(status.Warnings, std::vector<std::string>{"The delivery ledger " + document.FilePath +
                                                            ".ledger cannot be read (" + c.reason + ")"});
    }
}

TEST(LedgerRead, TheStatusPrintsNoControlCharactersFromTheLedger)
{
    TempDir dir;
    GameDocument document;
    document.FilePath = dir.Write("game.tpf", "setup");
    document.Setup.Players[0] = {1, "p1@example.org", ""};
    dir.Write("game.tpf.ledger",
              R"({"kind":"player","time":"2026\u001b]0;owned\u0007","year":0,"player":1,)"
              R"("address":"p1@example.org","files":[],"result":"[Player 1] \u001b[2J\rSent OK\u0000",)"
              R"("sent":true})"
              "\n");
    const DeliveryStatus status = GetDeliveryStatus(document);
    EXPECT_TRUE(status.Everybody);
    EXPECT_EQ(status.Text.substr(status.Text.find('\n') + 1), "[Player 1] ?[2J?Sent OK? (2026?]0;owned?)\n");
}

} // namespace
} // namespace turnpost

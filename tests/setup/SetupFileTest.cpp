#include "setup/SetupFile.h"
#include "platform/Files.h"
#include "setup/SetupFields.h"
#include "setup/SetupWriter.h"
#include "support/RecordingUserInterface.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace turnpost;
using turnpost::test::ReadFileBytes;
using turnpost::test::RecordingUserInterface;
using turnpost::test::TempDir;

namespace {

std::string DataFile(const std::string& name)
{
    return std::string(std::getenv("TURNPOST_TEST_DATA")) + "/" + name;
}

std::string Hex(const std::string& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : bytes) {
        if (!out.empty())
            out += ' ';
        out += digits[static_cast<unsigned char>(c) >> 4];
        out += digits[static_cast<unsigned char>(c) & 15];
    }
    return out;
}

std::string Unhex(const std::string& hex)
{
    std::string out;
    for (std::size_t i = 0; i < hex.size(); i += 3)
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

// A setup whose every field differs from the fresh one, using all three prefix forms and the wide form.
GameSetup RichSetup()
{
    GameSetup s;
    s.GameName = "Große Schlacht";
    s.UniverseFile = "/games/big.xy";
    s.SmtpServer = "mail.example.org:587";
    s.ReturnAddress = "host@example.org";
    s.MessageSubject = "Turn %Y of %G";
    s.MessageText = std::string(300, 'm');
    s.SendPlayerFile = 0;
    s.SendUniverseFile = 1;
    s.SendAdditionalFiles = 5;
    s.SmtpTimeout = -1;
    s.PauseAfterConnection = 250;
    s.DisplaySummary = 0;
    s.SaveReportToFile = 1;
    s.EmailReport = 1;
    s.ReportFile = "/tmp/report.txt";
    s.ReportAddress = "report@example.org";
    s.DetailedReport = 1;
    for (int i = 0; i < PlayerCount; ++i) {
        s.Players[i].Selected = i % 2;
        s.Players[i].EmailAddress = "p" + std::to_string(i + 1) + "@example.org";
        s.Players[i].PlayerFile = "/games/big.m" + std::to_string(i + 1);
    }
    s.Players[15].PlayerFile = std::string(70000, 'f');
    s.SmtpSecurity = 1;
    s.SmtpUser = "host";
    s.SmtpPasswordCommand = "pass show smtp";
    s.SmtpLoginMethod = 1;
    s.CheckTurnFiles = 0;
    s.CollectServer = "imap.example.org:143";
    s.CollectSecurity = 1;
    s.CollectUser = "orders";
    s.CollectPasswordCommand = "pass show imap";
    s.CollectLoginMethod = 1;
    s.CollectFolder = "Stars/Orders";
    s.ProcessedFolder = "Stars/Done";
    s.RejectedFolder = "";
    s.AcknowledgeOrders = 0;
    s.AcknowledgeSubject = "%G %Y";
    s.AcknowledgeText = "Result: %R";
    s.TurnDeadlineHours = 72;
    s.RemindHoursBefore = 6;
    s.ReminderSubject = "%G: %Y?";
    s.ReminderText = "Due %D";
    s.NotifyHostWhenDone = 0;
    s.GenerateCommand = "./generate.sh 'my game'";
    s.ExtensionFields = {{"FutureOption", "on"}, {"Empty", ""}};
    return s;
}

// A document that differs from a fresh one everywhere a failed load could leave a mark.
GameDocument BusyDocument()
{
    GameDocument d;
    d.Setup.GameName = "Current game";
    d.Setup.UseDefaultMessage = 1;
    d.Setup.SendPlayerFile = 0;
    d.Setup.SendUniverseFile = 1;
    d.Setup.SendAdditionalFiles = 1;
    d.Setup.SmtpTimeout = 99;
    d.Setup.PauseAfterConnection = 77;
    d.Setup.DisplaySummary = 0;
    d.Setup.SaveReportToFile = 1;
    d.Setup.EmailReport = 1;
    d.Setup.ReportFile = "/kept/report.txt";
    d.Setup.ReportAddress = "kept@example.org";
    d.Setup.DetailedReport = 1;
    d.Setup.SmtpSecurity = 2;
    d.Setup.SmtpUser = "other-game";
    d.Setup.SmtpPasswordCommand = "secret-tool lookup other";
    d.Setup.SmtpLoginMethod = 1;
    d.Setup.CheckTurnFiles = 0;
    d.Setup.ExtensionFields = {{"OtherGameOption", "1"}};
    d.FilePath = "/current.tpf";
    d.Modified = 1;
    d.DisplayMode = 1;
    return d;
}

// Builds a version-1 file (no leading text) around the given game name and use-default string.
std::string Version1Bytes(const std::string& gameName, const std::string& useDefault)
{
    CSetupWriter w;
    for (const char* text : {"C:\\A.XY", "", "", ""})
        w.WriteString(text);
    w.WriteString(useDefault);
    w.WriteString("text");
    for (int i = 0; i < PlayerCount; ++i) {
        w.WriteInteger(0);
        w.WriteString("");
        w.WriteString("");
    }
    CSetupWriter name;
    name.WriteString(gameName);
    return name.Bytes() + w.Bytes();
}

} // namespace

TEST(SetupFileWrite, FreshSetupIsTheKnown165Bytes)
{
    std::string expected =
        Unhex("0C 74 61 73 68 61 20 28 77 6F 6F 66 29 03 00 00 00 00 00 00 00 07 00 00 00");
    expected += std::string(6, '\0');
    expected += Unhex("01 00 00 00 00 00 00 00 00 00 00 00 98 3A 00 00 00 00 00 00 01 00 00 00");
    expected += std::string(8 + 2 + 4 + 16 * 6, '\0');
    ASSERT_EQ(expected.size(), 165u);

    EXPECT_EQ(Hex(SerializeSetup(GameSetup{})), Hex(expected));

    TempDir dir;
    RecordingUserInterface ui;
    ASSERT_TRUE(WriteSetupFile(dir.File("fresh.tpf"), GameSetup{}, ui));
    EXPECT_EQ(ReadFileBytes(dir.File("fresh.tpf")), expected);
    EXPECT_TRUE(ui.Messages.empty());
}

TEST(SetupFileWrite, LengthPrefixFormsAtTheirBoundaries)
{
    const struct
    {
        std::size_t length;
        const char* prefix;
    } cases[] = {
        {0, "00"}, {254, "FE"}, {255, "FF FF 00"}, {65533, "FF FD FF"}, {65534, "FF FF FF FE FF 00 00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        GameSetup setup;
        setup.GameName.assign(c.length, 'g');
        const std::string bytes = SerializeSetup(setup);
        const std::string prefix = Unhex(c.prefix);
        EXPECT_EQ(Hex(bytes.substr(25, prefix.size())), c.prefix);
        EXPECT_EQ(bytes.size(), 165 - 1 + prefix.size() + c.length);

        GameSetup loaded;
        ASSERT_EQ(ParseSetup(bytes, loaded).Status, SetupParseResult::Loaded);
        EXPECT_EQ(loaded, setup);
    }
}

TEST(SetupFileRead, AcceptsEveryPrefixFormForAnyLength)
{
    // Writers on other systems need not pick the shortest form; the reader takes each as it comes.
    const struct
    {
        const char* prefix;
        std::string body;
        std::string text;
    } cases[] = {
        {"05", "hello", "hello"},
        {"FF 05 00", "hello", "hello"},
        {"FF FF FF 05 00 00 00", "hello", "hello"},
        {"FF FE FF 02", std::string("h\0i\0", 4), "hi"},
        {"FF FE FF FF 02 00", std::string("h\0i\0", 4), "hi"},
        // An unpaired surrogate cannot be represented and becomes U+FFFD.
        {"FF FE FF 02", std::string("\x3D\xD8x\0", 4), "\xEF\xBF\xBDx"},
        {"FF FE FF 01", std::string("\x00\xDC", 2), "\xEF\xBF\xBD"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.prefix);
        std::string bytes = SerializeSetup(GameSetup{});
        bytes.replace(25, 1, Unhex(c.prefix) + c.body);
        GameSetup loaded;
        ASSERT_EQ(ParseSetup(bytes, loaded).Status, SetupParseResult::Loaded);
        EXPECT_EQ(loaded.GameName, c.text);
    }
}

TEST(SetupFileRead, Version1KeepsWhatItDoesNotCarryAndResetsTheTimes)
{
    GameDocument document = BusyDocument();
    RecordingUserInterface ui(&document);
    const std::string path = DataFile("setup-v1.tpf");
    ASSERT_TRUE(ReadSetupFile(path, document, ui));

    const GameSetup& s = document.Setup;
    EXPECT_EQ(s.GameName, "Old Game");
    EXPECT_EQ(s.UniverseFile, "C:\\GAMES\\OLD.XY");
    EXPECT_EQ(s.SmtpServer, "mail.example.org");
    EXPECT_EQ(s.ReturnAddress, "host@example.org");
    EXPECT_EQ(s.MessageSubject, "Turn %Y of %G");
    EXPECT_EQ(s.UseDefaultMessage, 1);
    EXPECT_EQ(s.MessageText, "Your turn, player %P.");
    EXPECT_EQ(s.Players[0], (PlayerSlot{1, "p1@example.org", "C:\\GAMES\\OLD.M1"}));
    EXPECT_EQ(s.Players[1], PlayerSlot{});
    EXPECT_EQ(s.Players[15], (PlayerSlot{1, "p16@example.org", "C:\\GAMES\\OLD.M16"}));
    EXPECT_EQ(s.SmtpTimeout, 15000);
    EXPECT_EQ(s.PauseAfterConnection, 0);

    // Send options and report preferences stay those of the setup loaded before.
    const GameSetup& before = BusyDocument().Setup;
    EXPECT_EQ(s.SendPlayerFile, before.SendPlayerFile);
    EXPECT_EQ(s.SendUniverseFile, before.SendUniverseFile);
    EXPECT_EQ(s.SendAdditionalFiles, before.SendAdditionalFiles);
    EXPECT_EQ(s.DisplaySummary, before.DisplaySummary);
    EXPECT_EQ(s.SaveReportToFile, before.SaveReportToFile);
    EXPECT_EQ(s.EmailReport, before.EmailReport);
    EXPECT_EQ(s.ReportFile, before.ReportFile);
    EXPECT_EQ(s.ReportAddress, before.ReportAddress);
    EXPECT_EQ(s.DetailedReport, before.DetailedReport);
    // The previous game's mail account is not carried into this one.
    EXPECT_EQ(s.SmtpSecurity, 0);
    EXPECT_EQ(s.SmtpUser, "");
    EXPECT_EQ(s.SmtpPasswordCommand, "");
    EXPECT_EQ(s.SmtpLoginMethod, 0);
    EXPECT_EQ(s.CheckTurnFiles, 1);
    EXPECT_TRUE(s.ExtensionFields.empty());

    EXPECT_EQ(document.FilePath, path);
    EXPECT_EQ(document.Modified, 0);
    EXPECT_EQ(document.DisplayMode, 1);
    EXPECT_EQ(ui.Captions, std::vector<std::string>{"Turnpost - " + path});
    EXPECT_EQ(ui.RowTexts[15], "C:\\GAMES\\OLD.M16"); // rows refilled in the player-file view
    EXPECT_EQ(ui.ShowStateCount, 1);
    EXPECT_TRUE(ui.Messages.empty());
}

TEST(SetupFileRead, Version1UseDefaultIsOnOnlyForLowerCaseT)
{
    const struct
    {
        const char* text;
        int expected;
    } cases[] = {{"t", 1}, {"T", 0}, {"tt", 0}, {"true", 0}, {"", 0}, {"f", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        GameSetup setup;
        setup.UseDefaultMessage = 7;
        ASSERT_EQ(ParseSetup(Version1Bytes("g", c.text), setup).Status, SetupParseResult::Loaded);
        EXPECT_EQ(setup.UseDefaultMessage, c.expected);
    }
}

TEST(SetupFileRead, Version1FileNamedLikeTheLeadingTextIsTakenForAVersionedOne)
{
    const std::string bytes = Version1Bytes("tasha (woof)", "t");
    // The four bytes after the name, the start of the universe file, are now the version word.
    EXPECT_EQ(SetupVersionOf(bytes), 0x5C3A4307);
    GameSetup setup;
    EXPECT_EQ(ParseSetup(bytes, setup).Status, SetupParseResult::PastEnd);
    EXPECT_EQ(setup, GameSetup{});
}

TEST(SetupFileRead, Version2KeepsTheReportPreferences)
{
    GameDocument document = BusyDocument();
    RecordingUserInterface ui(&document);
    ASSERT_TRUE(ReadSetupFile(DataFile("setup-v2.tpf"), document, ui));

    const GameSetup& s = document.Setup;
    const GameSetup& before = BusyDocument().Setup;
    EXPECT_EQ(s.GameName, "Old Game");
    EXPECT_EQ(s.MessageText, "Your turn, player %P.");
    EXPECT_EQ(s.SendPlayerFile, 0);
    EXPECT_EQ(s.SendUniverseFile, 1);
    EXPECT_EQ(s.SendAdditionalFiles, 0);
    EXPECT_EQ(s.SmtpTimeout, 30000);
    EXPECT_EQ(s.PauseAfterConnection, 500);
    EXPECT_EQ(s.UseDefaultMessage, before.UseDefaultMessage);
    EXPECT_EQ(s.DisplaySummary, before.DisplaySummary);
    EXPECT_EQ(s.SaveReportToFile, before.SaveReportToFile);
    EXPECT_EQ(s.EmailReport, before.EmailReport);
    EXPECT_EQ(s.ReportFile, before.ReportFile);
    EXPECT_EQ(s.ReportAddress, before.ReportAddress);
    EXPECT_EQ(s.DetailedReport, before.DetailedReport);
    EXPECT_EQ(s.Players[15], (PlayerSlot{1, "p16@example.org", "C:\\GAMES\\OLD.M16"}));
    EXPECT_EQ(s.SmtpUser, "");
}

// Appends an extension block of the given pairs to the bytes of a file.
std::string WithExtension(std::string bytes, std::int32_t count,
                          const std::vector<std::pair<std::string, std::string>>& pairs)
{
    CSetupWriter w;
    w.WriteString("Turnpost extension");
    w.WriteInteger(count);
    for (const auto& [key, value] : pairs) {
        w.WriteString(key);
        w.WriteString(value);
    }
    return bytes + w.Bytes();
}

TEST(SetupFileRead, TailsAfterThePlayersAreIgnoredUnlessTheyAreOurBlock)
{
    // The same body as a plain version-3 file: what every one of these must read as.
    std::string plain;
    ASSERT_TRUE(ReadWholeFile(DataFile("setup-v4-no-tail.tpf"), plain));
    plain[13] = 3;
    GameSetup expected = BusyDocument().Setup;
    ASSERT_EQ(ParseSetup(plain, expected).Status, SetupParseResult::Loaded);
    EXPECT_EQ(expected.ReportFile, "/tmp/report.txt");
    // The account of the setup open before is not carried over.
    EXPECT_EQ(expected.SmtpSecurity, 0);
    EXPECT_EQ(expected.SmtpUser, "");
    EXPECT_EQ(expected.SmtpPasswordCommand, "");
    EXPECT_EQ(expected.SmtpLoginMethod, 0);
    EXPECT_EQ(expected.CheckTurnFiles, 1);
    EXPECT_TRUE(expected.ExtensionFields.empty());

    const struct
    {
        const char* file;
        int version;
    } cases[] = {
        {"setup-v4-no-tail.tpf", 4},
        // Three fields after the players, as early builds wrote them: no command comes of them.
        {"setup-v4.tpf", 4},
        {"setup-v5-foreign-tail.tpf", 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        GameDocument document = BusyDocument();
        RecordingUserInterface ui(&document);
        ASSERT_EQ(ReadSetupFileStatus(DataFile(c.file), document, ui), SetupReadStatus::Loaded);
        EXPECT_EQ(document.Setup, expected);
        EXPECT_TRUE(ui.Messages.empty());
        std::string bytes;
        ASSERT_TRUE(ReadWholeFile(DataFile(c.file), bytes));
        EXPECT_EQ(SetupVersionOf(bytes), c.version);
    }
}

TEST(SetupFileRead, ExtensionBlockSetsEachKnownKeyWhateverTheVersion)
{
    const std::string plain = SerializeSetup(GameSetup{});
    const struct
    {
        const char* key;
        const char* value;
        void (*expect)(GameSetup&);
    } cases[] = {
        {"SmtpSecurity", "2", [](GameSetup& s) { s.SmtpSecurity = 2; }},
        {"SmtpSecurity", "-7", [](GameSetup& s) { s.SmtpSecurity = -7; }},
        {"SmtpUser", "host@example.org", [](GameSetup& s) { s.SmtpUser = "host@example.org"; }},
        {"SmtpPasswordCommand", "pass show smtp",
         [](GameSetup& s) { s.SmtpPasswordCommand = "pass show smtp"; }},
        {"SmtpLoginMethod", "1", [](GameSetup& s) { s.SmtpLoginMethod = 1; }},
        {"CheckTurnFiles", "0", [](GameSetup& s) { s.CheckTurnFiles = 0; }},
        {"CheckTurnFiles", "2147483647", [](GameSetup& s) { s.CheckTurnFiles = 2147483647; }},
        {"AdditionalFiles", "/g/rules.pdf\n/g/race%P.r1",
         [](GameSetup& s) { s.AdditionalFiles = "/g/rules.pdf\n/g/race%P.r1"; }},
        {"FutureOption", "on",
         [](GameSetup& s) {
             s.ExtensionFields = {{"FutureOption", "on"}};
         }},
        // A name of the body is no field of the block: kept as a newer program's entry.
        {"GameName", "x",
         [](GameSetup& s) {
             s.ExtensionFields = {{"GameName", "x"}};
         }},
    };
    for (const std::int32_t version : {3, 4, 9}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.key) + " in version " + std::to_string(version));
            std::string bytes = plain;
            bytes[13] = static_cast<char>(version);
            GameSetup expected;
            ASSERT_EQ(ParseSetup(bytes, expected).Status, SetupParseResult::Loaded);
            c.expect(expected);

            GameSetup loaded = BusyDocument().Setup;
            loaded.UseDefaultMessage = 0; // the one field a version-3 body does not carry
            ASSERT_EQ(ParseSetup(WithExtension(bytes, 1, {{c.key, c.value}}), loaded).Status,
                      SetupParseResult::Loaded);
            EXPECT_EQ(loaded, expected);
            // Written back, the block says the same: version 3 and the one pair.
            EXPECT_EQ(SerializeSetup(loaded),
                      WithExtension(SerializeSetup(GameSetup{}), 1, {{c.key, c.value}}));
        }
    }
}

TEST(SetupFileRead, UnknownKeysSurviveASaveByThisProgram)
{
    GameDocument document = BusyDocument();
    RecordingUserInterface ui(&document);
    ASSERT_TRUE(ReadSetupFile(DataFile("setup-extension.tpf"), document, ui));
    GameSetup& s = document.Setup;
    EXPECT_EQ(s.GameName, "Old Game");
    EXPECT_EQ(s.SmtpSecurity, 1);
    EXPECT_EQ(s.SmtpUser, "host");
    EXPECT_EQ(s.SmtpPasswordCommand, "pass show smtp");
    EXPECT_EQ(s.SmtpLoginMethod, 1);
    EXPECT_EQ(s.CheckTurnFiles, 0); // given in the wide form
    using Entries = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(s.ExtensionFields, (Entries{{"FutureOption", "on"}}));

    // The host changes a known field and saves: the newer program's entry is still there.
    s.SmtpUser = "other";
    TempDir dir;
    ASSERT_TRUE(WriteSetupFile(dir.File("saved.tpf"), s, ui));
    const std::string saved = ReadFileBytes(dir.File("saved.tpf"));
    EXPECT_EQ(saved[13], 3);
    EXPECT_NE(saved.find("\x0C"
                         "FutureOption\x02on"),
              std::string::npos);
    GameDocument again = BusyDocument(); // whose UseDefaultMessage, never written, matches
    RecordingUserInterface reader(&again);
    ASSERT_TRUE(ReadSetupFile(dir.File("saved.tpf"), again, reader));
    EXPECT_EQ(again.Setup, s);
}

TEST(SetupFileRead, MalformedExtensionBlockIsRefusedAndChangesNothing)
{
    const std::string plain = SerializeSetup(GameSetup{});
    const std::string pastEnd = "past its end.";
    const struct
    {
        const char* name;
        std::string bytes;
        std::string message; // the end of the message
    } cases[] = {
        {"count beyond the file", WithExtension(plain, 2, {{"SmtpUser", "a"}}), pastEnd},
        {"huge count", WithExtension(plain, 0x7FFFFFFF, {{"SmtpUser", "a"}}), pastEnd},
        {"negative count", WithExtension(plain, -1, {{"SmtpUser", "a"}}), pastEnd},
        {"no count", plain + "\x12Turnpost extension\x01", pastEnd},
        {"value cut short", WithExtension(plain, 1, {{"SmtpUser", "abc"}}).substr(0, plain.size() + 33),
         pastEnd},
        {"key twice", WithExtension(plain, 2, {{"FutureOption", "a"}, {"FutureOption", "b"}}),
         "its extension block names FutureOption twice."},
        {"letters for a number", WithExtension(plain, 1, {{"SmtpSecurity", "STARTTLS"}}),
         "its extension block gives SmtpSecurity the value \"STARTTLS\", which is not a whole number."},
        {"empty number", WithExtension(plain, 1, {{"CheckTurnFiles", ""}}), "which is not a whole number."},
        {"plus sign", WithExtension(plain, 1, {{"CheckTurnFiles", "+1"}}), "which is not a whole number."},
        {"blank after", WithExtension(plain, 1, {{"CheckTurnFiles", "1 "}}), "which is not a whole number."},
        {"beyond 32 bits", WithExtension(plain, 1, {{"SmtpLoginMethod", "2147483648"}}),
         "which is not a whole number."},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.Write("bad.tpf", c.bytes);
        GameDocument document = BusyDocument();
        RecordingUserInterface ui(&document);
        EXPECT_EQ(ReadSetupFileStatus(path, document, ui), SetupReadStatus::Damaged);
        EXPECT_EQ(document, BusyDocument());
        ASSERT_EQ(ui.Messages.size(), 1u);
        const std::string& text = ui.Messages[0].Text;
        EXPECT_NE(text.find(path), std::string::npos) << text;
        EXPECT_TRUE(text.ends_with(c.message)) << text;
        EXPECT_TRUE(ui.Captions.empty());
    }
}

TEST(SetupFileWrite, ExtensionBlockOnlyWhenAnExtensionFieldIsSet)
{
    GameSetup plain = RichSetup();
    plain.SmtpSecurity = 0;
    plain.SmtpUser.clear();
    plain.SmtpPasswordCommand.clear();
    plain.SmtpLoginMethod = 0;
    plain.CheckTurnFiles = 1;
    plain.ExtensionFields.clear();
    for (const SetupField& field : SetupFields())
        if (field.InExtension())
            ResetSetupField(field, plain);
    const std::string version3 = SerializeSetup(plain);
    EXPECT_EQ(version3[13], 3);
    // Nothing follows the last player's file name.
    EXPECT_TRUE(version3.ends_with(plain.Players[15].PlayerFile));

    const struct
    {
        void (*set)(GameSetup&);
        std::vector<std::pair<std::string, std::string>> block;
    } cases[] = {
        {[](GameSetup& s) { s.SmtpSecurity = 2; }, {{"SmtpSecurity", "2"}}},
        {[](GameSetup& s) { s.SmtpUser = "host"; }, {{"SmtpUser", "host"}}},
        {[](GameSetup& s) { s.SmtpPasswordCommand = "pass smtp"; }, {{"SmtpPasswordCommand", "pass smtp"}}},
        {[](GameSetup& s) { s.SmtpLoginMethod = 1; }, {{"SmtpLoginMethod", "1"}}},
        {[](GameSetup& s) { s.CheckTurnFiles = 0; }, {{"CheckTurnFiles", "0"}}},
        {[](GameSetup& s) { s.AdditionalFiles = "/g/rules.pdf"; }, {{"AdditionalFiles", "/g/rules.pdf"}}},
        {[](GameSetup& s) {
             s.ExtensionFields = {{"Later", ""}};
         },
         {{"Later", ""}}},
        {[](GameSetup& s) {
             s.ExtensionFields = {{"Later", "x"}};
             s.CheckTurnFiles = -3;
             s.SmtpUser = "Jörg";
         },
         {{"SmtpUser", "Jörg"}, {"CheckTurnFiles", "-3"}, {"Later", "x"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.block.front().first);
        GameSetup setup = plain;
        c.set(setup);
        const std::string bytes = SerializeSetup(setup);
        EXPECT_EQ(bytes, WithExtension(version3, static_cast<std::int32_t>(c.block.size()), c.block));
        GameSetup loaded;
        ASSERT_EQ(ParseSetup(bytes, loaded).Status, SetupParseResult::Loaded);
        EXPECT_EQ(loaded, setup);
    }
}

TEST(SetupFileRead, WideAndWindowsStringsBecomeUtf8AndGoOutWide)
{
    const struct
    {
        const char* file;
        const char* name;
    } cases[] = {
        {"setup-wide-string.tpf", "Gro\u00dfe Schlacht \u2605 \U0001F680"},
        {"setup-cp1252.tpf", "Caf\u00e9 \u20ac \u201cZ\u201d"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        std::string bytes;
        ASSERT_TRUE(ReadWholeFile(DataFile(c.file), bytes));
        GameSetup setup;
        ASSERT_EQ(ParseSetup(bytes, setup).Status, SetupParseResult::Loaded);
        EXPECT_EQ(setup.GameName, c.name);
        EXPECT_EQ(setup.UniverseFile, "C:\\GAMES\\OLD.XY");

        const std::string written = SerializeSetup(setup);
        EXPECT_EQ(Hex(written.substr(25, 3)), "FF FE FF");
        GameSetup again;
        ASSERT_EQ(ParseSetup(written, again).Status, SetupParseResult::Loaded);
        EXPECT_EQ(again, setup);
    }
}

TEST(SetupFileRead, RoundTripThroughTheFileKeepsEverything)
{
    TempDir dir;
    RecordingUserInterface ui;
    const GameSetup setup = RichSetup();
    ASSERT_TRUE(WriteSetupFile(dir.File("rich.tpf"), setup, ui));

    GameDocument document;
    RecordingUserInterface reader(&document);
    ASSERT_TRUE(ReadSetupFile(dir.File("rich.tpf"), document, reader));
    EXPECT_EQ(document.Setup, setup);
    EXPECT_EQ(reader.RowTexts[3], "p4@example.org");
    EXPECT_EQ(reader.RowChecks[3], 1);
}

TEST(SetupFileRead, FileCutAtAnyByteChangesNothing)
{
    TempDir dir;
    std::string version1;
    ASSERT_TRUE(ReadWholeFile(DataFile("setup-v1.tpf"), version1));
    GameSetup withoutExtension = RichSetup();
    for (const SetupField& field : SetupFields())
        if (field.InExtension())
            ResetSetupField(field, withoutExtension);
    withoutExtension.ExtensionFields.clear();
    // Cut after the last player and before the end of the block's marker, the file is a plain version
    // 3 file with a tail that is not our block: it is read, as any such file is.
    const std::size_t bodyEnd = SerializeSetup(withoutExtension).size();
    const std::size_t markerEnd = bodyEnd + 1 + std::string_view("Turnpost extension").size();
    for (const bool versioned : {true, false}) {
        const std::string whole = versioned ? SerializeSetup(RichSetup()) : version1;
        for (std::size_t size = 0; size < whole.size(); ++size) {
            // Most offsets fall inside the two long strings; stride there to keep the walk quick.
            if (size > 400 && size + 400 < whole.size() && size % 997 != 0)
                continue;
            if (whole[0] == 0x0C && size >= bodyEnd && size < markerEnd)
                continue;
            SCOPED_TRACE(size);
            // A fresh name each time: rewriting one file in place makes some file systems flush it.
            const std::string path = dir.Write("cut" + std::to_string(size) + ".tpf", whole.substr(0, size));
            GameDocument document = BusyDocument();
            RecordingUserInterface ui(&document);
            EXPECT_EQ(ReadSetupFileStatus(path, document, ui), SetupReadStatus::Damaged);
            EXPECT_EQ(document, BusyDocument());
            ASSERT_EQ(ui.Messages.size(), 1u);
            // Past the leading text a file is a damaged setup; without it, one that does not read is
            // not recognisably a setup at all (a version-1 file cut short cannot be told from one).
            const std::string expected = versioned && size > 12
                                             ? "An attempt was made to access " + path + " past its end."
                                             : path + " is not a Turnpost game setup file.";
            EXPECT_EQ(ui.Messages[0].Text, expected);
            EXPECT_TRUE(ui.Captions.empty());
            EXPECT_EQ(ui.FillCount, 0);
            std::remove(path.c_str());
        }
    }
}

TEST(SetupFileRead, CutShortFixtureFailsAndNamesTheFile)
{
    GameDocument document = BusyDocument();
    RecordingUserInterface ui(&document);
    const std::string path = DataFile("setup-cut-short.tpf");
    EXPECT_FALSE(ReadSetupFile(path, document, ui));
    EXPECT_EQ(document, BusyDocument());
    ASSERT_EQ(ui.Messages.size(), 1u);
    EXPECT_EQ(ui.Messages[0].Text, "An attempt was made to access " + path + " past its end.");
}

TEST(SetupFileRead, FilesOfOtherKindsAreNamedAsSuch)
{
    TempDir dir;
    for (const std::string& bytes :
         {std::string("not a setup at all"), std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16),
          std::string("#!/bin/sh\necho hello\n")}) {
        SCOPED_TRACE(bytes);
        const std::string path = dir.Write("other.tpf", bytes);
        GameDocument document = BusyDocument();
        RecordingUserInterface ui(&document);
        EXPECT_EQ(ReadSetupFileStatus(path, document, ui), SetupReadStatus::Damaged);
        EXPECT_EQ(document, BusyDocument());
        ASSERT_EQ(ui.Messages.size(), 1u);
        EXPECT_EQ(ui.Messages[0].Text, path + " is not a Turnpost game setup file.");
    }
}

TEST(SetupFileRead, RefusesVersionWordsNoWriterProduces)
{
    TempDir dir;
    for (const std::int32_t version : {1, 0, -1}) {
        SCOPED_TRACE(version);
        CSetupWriter w;
        w.WriteInteger(version);
        std::string bytes = SerializeSetup(GameSetup{});
        bytes.replace(13, 4, w.Bytes());
        const std::string path = dir.Write("odd" + std::to_string(version) + ".tpf", bytes);
        GameDocument document = BusyDocument();
        RecordingUserInterface ui(&document);
        EXPECT_EQ(ReadSetupFileStatus(path, document, ui), SetupReadStatus::Damaged);
        EXPECT_EQ(document, BusyDocument());
        ASSERT_EQ(ui.Messages.size(), 1u);
        EXPECT_NE(ui.Messages[0].Text.find(path), std::string::npos);
        EXPECT_NE(ui.Messages[0].Text.find("version " + std::to_string(version)), std::string::npos);
    }
}

TEST(SetupFileRead, MissingFileIsReportedAndChangesNothing)
{
    TempDir dir;
    const std::string path = dir.File("missing.tpf");
    GameDocument document = BusyDocument();
    RecordingUserInterface ui(&document);
    EXPECT_EQ(ReadSetupFileStatus(path, document, ui), SetupReadStatus::NotOpened);
    EXPECT_EQ(document, BusyDocument());
    ASSERT_EQ(ui.Messages.size(), 1u);
    EXPECT_EQ(ui.Messages[0].Text, "Could not open file: " + path);
    EXPECT_EQ(ui.Messages[0].Caption, "");
    EXPECT_EQ(ui.Messages[0].Buttons, MessageButtons::Ok);
}

TEST(SetupFileRead, VersionOfEachKindOfFile)
{
    const auto file = [](const char* name) {
        std::string bytes;
        EXPECT_TRUE(ReadWholeFile(DataFile(name), bytes)) << name;
        return bytes;
    };
    const struct
    {
        std::string bytes;
        int version;
    } cases[] = {
        {"", 0},
        {Unhex("0C 74 61 73 68 61 20 28 77 6F 6F 66 29"), 0},
        {file("setup-v1.tpf"), 1},
        {file("setup-v2.tpf"), 2},
        {file("setup-cut-short.tpf"), 3},
        {file("setup-v4.tpf"), 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Hex(c.bytes.substr(0, 16)));
        EXPECT_EQ(SetupVersionOf(c.bytes), c.version);
    }
}

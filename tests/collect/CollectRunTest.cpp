#include "collect/CollectRun.h"

#include "mail/Base64.h"
#include "platform/Files.h"
#include "send/DeliveryLedger.h"
#include "send/RunLock.h"
#include "support/Dovecot.h"
#include "support/GameFiles.h"
#include "support/RecordingUserInterface.h"
#include "support/ScopedEnvironment.h"
#include "support/ScriptedSmtpPeer.h"
#include "support/SmtpSink.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <sys/resource.h>
#include <unistd.h>

namespace turnpost {
namespace {

using test::Dovecot;
using test::GameFileBytes;
using test::GameFileFacts;
using test::ReadFileBytes;
using test::RecordingUserInterface;
using test::ScopedEnvironment;
using test::SmtpSink;
using test::TempDir;

constexpr std::uint32_t GameId = 0x5EA5011;
constexpr std::uint16_t Turn = 42; // the year 2442

std::string OrderBytes(int playerIndex, std::uint32_t game = GameId, std::uint16_t turn = Turn,
                       std::size_t size = 60, int fileType = 1)
{
    GameFileFacts facts;
    facts.GameId = game;
    facts.Turn = turn;
    facts.PlayerIndex = playerIndex;
    facts.FileType = fileType;
    facts.Size = size;
    return GameFileBytes(facts);
}

std::string Headers(const std::string& from, const std::string& id, const std::string& subject)
{
    return "From: " + from + "\r\nTo: host@example.org\r\nSubject: " + subject + "\r\nMessage-ID: <" + id +
           ">\r\nMIME-Version: 1.0\r\n";
}

/// A message with one base64 attachment; disposition is the whole Content-Disposition value.
std::string WithAttachment(const std::string& from, const std::string& id, const std::string& disposition,
                           const std::string& bytes)
{
    return Headers(from, id, "orders") +
           "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n"
           "--b1\r\nContent-Type: text/plain\r\n\r\nMy orders.\r\n"
           "--b1\r\nContent-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n"
           "Content-Disposition: " +
           disposition + "\r\n\r\n" + EncodeBase64Line(bytes) + "\r\n--b1--\r\n";
}

std::string Attached(const std::string& from, const std::string& id, const std::string& name,
                     const std::string& bytes)
{
    return WithAttachment(from, id, "attachment; filename=\"" + name + "\"", bytes);
}

std::string Uuencoded(const std::string& name, const std::string& bytes)
{
    const auto put = [](unsigned value) { return static_cast<char>(value == 0 ? '`' : value + 32); };
    std::string text = "begin 644 " + name + "\r\n";
    for (std::size_t at = 0; at < bytes.size(); at += 45) {
        const std::string chunk = bytes.substr(at, 45);
        text += put(static_cast<unsigned>(chunk.size()));
        for (std::size_t i = 0; i < chunk.size(); i += 3) {
            unsigned char b[3] = {};
            for (std::size_t k = 0; k < 3 && i + k < chunk.size(); ++k)
                b[k] = static_cast<unsigned char>(chunk[i + k]);
            text += put(b[0] >> 2);
            text += put(((b[0] & 3) << 4) | (b[1] >> 4));
            text += put(((b[1] & 15) << 2) | (b[2] >> 6));
            text += put(b[2] & 63);
        }
        text += "\r\n";
    }
    return text + "`\r\nend\r\n";
}

std::string PlainText(const std::string& from, const std::string& id, const std::string& body)
{
    return Headers(from, id, "note") + "Content-Type: text/plain\r\n\r\n" + body;
}

std::string Forwarded(const std::string& from, const std::string& id, const std::string& inner)
{
    return Headers(from, id, "Fwd: orders") +
           "Content-Type: multipart/mixed; boundary=\"f1\"\r\n\r\n"
           "--f1\r\nContent-Type: text/plain\r\n\r\nForwarded for my ally.\r\n"
           "--f1\r\nContent-Type: message/rfc822\r\n\r\n" +
           inner + "\r\n--f1--\r\n";
}

class CollectRunTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!Server().IsRunning())
            GTEST_SKIP() << Server().Error();
        m_User = Server().NewUser();
        m_Password.emplace("TURNPOST_IMAP_PASSWORD", Dovecot::Password(m_User));

        WriteHost();
        GameFileFacts universe;
        universe.FileType = 0;
        universe.PlayerIndex = 31;
        universe.Turn = 0;

        m_Document.FilePath = m_Dir.File("alpha.tpf");
        GameSetup& setup = m_Document.Setup;
        setup.GameName = "Alpha";
        setup.UniverseFile = m_Dir.Write("alpha.xy", GameFileBytes(universe));
        setup.ReturnAddress = "host@example.org";
        setup.CollectServer = "127.0.0.1:" + std::to_string(Server().ImplicitTlsPort());
        setup.CollectSecurity = 2;
        setup.CollectUser = m_User;
        for (int index = 0; index < 8; ++index)
            setup.Players[static_cast<std::size_t>(index)] = {
                1, "p" + std::to_string(index + 1) + "@example.net", ""};
    }

    static Dovecot& Server() { return Dovecot::Shared(); }

    void Save(const std::string& message, const std::string& folder = "INBOX") const
    {
        ASSERT_TRUE(Server().Save(m_User, folder, message));
    }

    // The Message-IDs of a folder's messages, in UID order.
    std::vector<std::string> IdsIn(const std::string& folder) const
    {
        const std::string out =
            Server().Doveadm("fetch -u " + m_User + " hdr.message-id mailbox '" + folder + "' all");
        std::vector<std::string> ids;
        for (std::size_t at = 0; (at = out.find('<', at)) != std::string::npos;) {
            const std::size_t end = out.find('>', at);
            ids.push_back(out.substr(at + 1, end - at - 1));
            at = end;
        }
        return ids;
    }

    std::string Flags(const std::string& folder) const
    {
        return Server().Doveadm("fetch -u " + m_User + " flags mailbox '" + folder + "' all");
    }

    std::string OrderFile(int player) const { return m_Dir.File("alpha.x" + std::to_string(player)); }

    void WriteHost(std::uint8_t flags = 0, int fileType = 2) const
    {
        GameFileFacts host;
        host.FileType = fileType;
        host.PlayerIndex = 31;
        host.Flags = flags;
        m_Dir.Write("alpha.hst", GameFileBytes(host));
    }

    // One order of player 1 waits in the INBOX.
    void SaveFirstOrder() const { Save(Attached("p1@example.net", "m1", "alpha.x1", OrderBytes(0))); }

    // Nothing of the collection happened: the order still unread in the INBOX, nothing written.
    void ExpectUntouched() const
    {
        EXPECT_EQ(IdsIn("INBOX"), std::vector<std::string>{"m1"});
        EXPECT_EQ(Flags("INBOX").find("\\Seen"), std::string::npos);
        EXPECT_FALSE(FileExists(OrderFile(1)));
        EXPECT_TRUE(ReadLedger(m_Dir.File("alpha.tpf.ledger")).Orders.empty());
    }

    std::string m_User;
    TempDir m_Dir;
    GameDocument m_Document;
    RecordingUserInterface m_Ui;
    std::optional<ScopedEnvironment> m_Password;
    ScopedEnvironment m_TrustTestAuthority{"SSL_CERT_FILE", Dovecot::Shared().AuthorityFile()};
};

TEST_F(CollectRunTest, OneCollectionSortsEveryKindOfMessage)
{
    SmtpSink sink;
    ASSERT_TRUE(sink.IsRunning()) << sink.Error();
    m_Document.Setup.SmtpServer = sink.Address();
    // Player 4 had sent orders by other means before: they are kept beside the new ones.
    // Player 5's slot is empty: his orders are taken all the same, and he is not counted as missing.
    m_Document.Setup.Players[4] = {};
    const std::string earlierFour = OrderBytes(3, GameId, Turn, 33);
    m_Dir.Write("alpha.x4", earlierFour);

    const std::string one = OrderBytes(0), two = OrderBytes(1), three = OrderBytes(2);
    const std::string fourOld = OrderBytes(3, GameId, Turn, 50), fourNew = OrderBytes(3, GameId, Turn, 70);
    const std::string five = OrderBytes(4);
    struct Message
    {
        std::string Id;
        std::string Text;
        std::string Folder; ///< where it ends
    };
    const std::vector<Message> messages = {
        {"m1", Attached("p1@example.net", "m1", "alpha.x1", one), "Turnpost.Processed"},
        {"m2", WithAttachment("p2@example.net", "m2", "attachment; filename*=utf-8''alpha%2Ex2", two),
         "Turnpost.Processed"},
        {"m3", PlainText("p3@example.net", "m3", "Orders below.\r\n" + Uuencoded("alpha.x3", three)),
         "Turnpost.Processed"},
        {"m4", Attached("p4@example.net", "m4", "alpha.x4", fourOld), "Turnpost.Processed"},
        {"m5", Forwarded("ally@example.net", "m5", Attached("p5@example.net", "inner5", "alpha.x5", five)),
         "Turnpost.Processed"},
        {"m6", Attached("p4@example.net", "m6", "alpha.x4", fourNew), "Turnpost.Processed"},
        {"m7", Attached("p6@example.net", "m7", "alpha.x6", OrderBytes(5, GameId + 1)), "Turnpost.Rejected"},
        {"m8", Attached("p7@example.net", "m8", "alpha.x7", OrderBytes(6, GameId, Turn - 1)),
         "Turnpost.Rejected"},
        {"m9", Attached("p8@example.net", "m9", "alpha.x8", OrderBytes(4)), "Turnpost.Rejected"},
        {"m10", Attached("p8@example.net", "m10", "alpha.m8", OrderBytes(7, GameId, Turn, 60, 3)),
         "Turnpost.Rejected"},
        {"m11", PlainText("chat@example.net", "m11", "See you next turn.\r\n"), "INBOX"},
        // Nobody to answer: no reply.
        {"m12", Attached("no-address", "m12", "alpha.x6", OrderBytes(5, GameId + 1)), "Turnpost.Rejected"},
    };
    for (const Message& message : messages)
        Save(message.Text);

    const CollectOutcome outcome = OnCollect(m_Document, m_Ui);
    EXPECT_TRUE(outcome.Succeeded()) << outcome.Error;
    EXPECT_EQ(outcome.Year, 2442);

    // The game folder.
    EXPECT_EQ(ReadFileBytes(OrderFile(1)), one);
    EXPECT_EQ(ReadFileBytes(OrderFile(2)), two);
    EXPECT_EQ(ReadFileBytes(OrderFile(3)), three);
    EXPECT_EQ(ReadFileBytes(OrderFile(4)), fourNew);
    EXPECT_EQ(ReadFileBytes(OrderFile(4) + ".previous"), earlierFour);
    EXPECT_EQ(ReadFileBytes(OrderFile(5)), five);
    for (int player : {6, 7, 8})
        EXPECT_FALSE(FileExists(OrderFile(player))) << player;

    // The mailbox.
    std::map<std::string, std::vector<std::string>> expectedFolders;
    for (const Message& message : messages)
        expectedFolders[message.Folder].push_back(message.Id);
    for (const auto& [folder, ids] : expectedFolders)
        EXPECT_EQ(IdsIn(folder), ids) << folder;
    EXPECT_EQ(Flags("INBOX").find("\\Seen"), std::string::npos) << "a message without orders stays unread";

    // The outcome.
    std::string all;
    for (const std::string& line : outcome.Lines)
        all += line + "\n";
    SCOPED_TRACE(all);
    ASSERT_EQ(outcome.Lines.size(), messages.size() + 2);
    EXPECT_NE(outcome.Lines[3].find("alpha.x4: replaced"), std::string::npos);
    EXPECT_EQ(outcome.Lines[5],
              "Warning: player 5 has an empty slot in the setup; his orders were taken all the same");
    EXPECT_NE(outcome.Lines[7].find("this order file is for another game"), std::string::npos);
    EXPECT_NE(outcome.Lines[8].find("for turn 2441, the current turn is 2442"), std::string::npos);
    EXPECT_NE(outcome.Lines[9].find("for player 5, but named alpha.x8"), std::string::npos);
    EXPECT_NE(outcome.Lines[10].find("this is not an order file"), std::string::npos);
    EXPECT_NE(outcome.Lines[11].find("no order file; left in INBOX"), std::string::npos);
    EXPECT_EQ(outcome.Summary, "Orders in: 4 of 7; missing: players 6, 7, 8");
    EXPECT_EQ(outcome.Lines.back(), outcome.Summary);
    const std::array<bool, PlayerCount> in{true, true, true, true, true};
    EXPECT_EQ(outcome.OrdersIn, in);

    // The ledger: one order line per order file, and nothing the send side would warn about.
    const LedgerContents ledger = ReadLedger(m_Dir.File("alpha.tpf.ledger"));
    EXPECT_TRUE(ledger.Warnings.empty());
    ASSERT_EQ(ledger.Orders.size(), 11u);
    std::map<std::string, std::string> resultOf;
    for (const OrderRecord& order : ledger.Orders)
        resultOf[order.MessageId] = order.Result + (order.Reason.empty() ? "" : ": " + order.Reason);
    EXPECT_EQ(resultOf["m4"], "replaced: replaced by the orders in message 6");
    EXPECT_EQ(resultOf["m6"], "taken");
    EXPECT_EQ(resultOf["m5"], "taken");
    EXPECT_EQ(resultOf["m10"], "refused: this is not an order file");
    const OrderRecord& first = ledger.Orders.front();
    EXPECT_EQ(first.Player, 1);
    EXPECT_EQ(first.Year, 2442);
    EXPECT_EQ(first.File, "alpha.x1");
    EXPECT_EQ(first.Size, one.size());
    EXPECT_EQ(first.Sha256, test::Sha256Hex(one));
    EXPECT_EQ(first.Sender, "p1@example.net");

    // The acknowledgements: one per sender of an order file.
    const auto files = sink.WaitForMessages(8);
    ASSERT_EQ(files.size(), 8u);
    std::map<std::string, std::pair<std::string, std::string>> replyTo; // recipient: subject, raw
    const auto parsed = test::ParseMails(files);
    for (std::size_t i = 0; i < parsed.size(); ++i) {
        ASSERT_TRUE(parsed[i].Ok) << parsed[i].Error;
        ASSERT_EQ(parsed[i].To.size(), 1u);
        replyTo[parsed[i].To[0]] = {parsed[i].Subject, ReadFileBytes(files[i])};
    }
    struct Reply
    {
        const char* To;
        const char* Subject;
        const char* InReplyTo;
    };
    const Reply replies[] = {
        {"p1@example.net", "Alpha: your orders for 2442 (player 1) were received", "m1"},
        {"p2@example.net", "Alpha: your orders for 2442 (player 2) were received", "m2"},
        {"p4@example.net", "Alpha: your orders for 2442 (player 4) were received", "m6"},
        {"ally@example.net", "Alpha: your orders for 2442 (player 5) were received", "m5"},
        {"p6@example.net", "Alpha: your orders for 2442 were refused: this order file is for another game",
         "m7"},
        {"p7@example.net",
         "Alpha: your orders for 2442 were refused: for turn 2441, the current turn is 2442", "m8"},
        {"p8@example.net",
         "Alpha: your orders for 2442 were refused: for player 5, but named alpha.x8; your orders for 2442 "
         "were refused: this is not an order file",
         "m10"},
    };
    for (const Reply& reply : replies) {
        SCOPED_TRACE(reply.To);
        const auto found = replyTo.find(reply.To);
        ASSERT_NE(found, replyTo.end());
        EXPECT_EQ(found->second.first, reply.Subject);
        EXPECT_NE(found->second.second.find("\nIn-Reply-To: <" + std::string(reply.InReplyTo) + ">"),
                  std::string::npos);
    }
    EXPECT_EQ(replyTo.size(), 8u) << "one per sender with an address, none for a message without orders";
    EXPECT_NE(replyTo["p1@example.net"].second.find("alpha.x1: 60 bytes, SHA-256 " + test::Sha256Hex(one)),
              std::string::npos);
}

TEST_F(CollectRunTest, NothingIsCollectedUntilTheGameAndTheSetupAllowIt)
{
    SaveFirstOrder();
    // Without a password in the environment, a collection that got as far as the mailbox would ask.
    m_Password.reset();
    const ScopedEnvironment noPassword("TURNPOST_IMAP_PASSWORD", std::nullopt);
    struct Case
    {
        const char* Name;
        std::function<void()> Prepare;
        std::string Expected;
    };
    const std::string hostPath = m_Dir.File("alpha.hst");
    const Case cases[] = {
        {"host file in use", [this] { WriteHost(0x02); }, hostPath + " is in use"},
        {"host file missing", [&] { std::filesystem::remove(hostPath); }, hostPath + " cannot be read"},
        {"not a host file", [this] { WriteHost(0, 3); }, hostPath + " is not a host file"},
        {"unknown security", [this] { m_Document.Setup.CollectSecurity = 3; },
         "the mailbox security 3 is unknown"},
        {"no server", [this] { m_Document.Setup.CollectServer.clear(); }, "no mailbox server specified"},
        {"no user", [this] { m_Document.Setup.CollectUser.clear(); }, "no mailbox user specified"},
    };
    const GameSetup original = m_Document.Setup;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        m_Document.Setup = original;
        WriteHost();
        c.Prepare();
        RecordingUserInterface ui;
        const CollectOutcome outcome = OnCollect(m_Document, ui);
        EXPECT_FALSE(outcome.Ran);
        EXPECT_EQ(outcome.Error.rfind("Orders not collected: " + c.Expected, 0), 0u) << outcome.Error;
        EXPECT_TRUE(ui.PasswordAccounts.empty());
        ExpectUntouched();
    }

    // A send or another collection of the same setup holds the run lock.
    m_Document.Setup = original;
    WriteHost();
    CRunLock other;
    ASSERT_EQ(other.Take(m_Document), CRunLock::Result::Locked);
    const CollectOutcome locked = OnCollect(m_Document, m_Ui);
    EXPECT_EQ(locked.Error,
              "Orders not collected: " + m_Document.FilePath + " is being sent or collected by another run");
    ExpectUntouched();
}

TEST_F(CollectRunTest, AMailboxThatCannotBeOpenedFailsTheCollection)
{
    SaveFirstOrder();
    struct Case
    {
        const char* Name;
        std::string Password;
        std::optional<std::string> Authority;
        const char* Expected;
    };
    const Case cases[] = {
        {"wrong password", "not-the-password", Server().AuthorityFile(), "the server refused the login"},
        {"private authority not trusted", Dovecot::Password(m_User), std::nullopt, "certificate"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const ScopedEnvironment password("TURNPOST_IMAP_PASSWORD", c.Password);
        const ScopedEnvironment trust("SSL_CERT_FILE", c.Authority);
        const CollectOutcome outcome = OnCollect(m_Document, m_Ui);
        EXPECT_FALSE(outcome.Ran);
        EXPECT_FALSE(outcome.Succeeded());
        EXPECT_EQ(outcome.Error.rfind("Orders not collected: ", 0), 0u) << outcome.Error;
        EXPECT_NE(outcome.Error.find(c.Expected), std::string::npos) << outcome.Error;
        ExpectUntouched();
    }
}

TEST_F(CollectRunTest, AnOrderThatCannotBeWrittenLeavesItsMessageWhereItWas)
{
    SmtpSink sink;
    ASSERT_TRUE(sink.IsRunning()) << sink.Error();
    m_Document.Setup.SmtpServer = sink.Address();
    SaveFirstOrder();
    struct Case
    {
        const char* Name;
        std::function<void()> Prepare;
        std::function<void()> Undo;
        std::string Expected;
    };
    const std::string path = OrderFile(1);
    const std::string outside = m_Dir.File("outside");
    rlimit before{};
    ::getrlimit(RLIMIT_FSIZE, &before);
    std::vector<Case> cases = {
        {"a folder in the way", [&] { std::filesystem::create_directory(path); },
         [&] { std::filesystem::remove(path); }, path + " is not a regular file"},
        {"a symbolic link in the way", [&] { std::filesystem::create_symlink(outside, path); },
         [&] { std::filesystem::remove(path); }, path + " is a symbolic link"},
        // The disk or the quota is full: the file-size limit makes the write fail as they would.
        {"the write fails",
         [&] {
             std::signal(SIGXFSZ, SIG_IGN);
             rlimit small = before;
             small.rlim_cur = 20;
             ::setrlimit(RLIMIT_FSIZE, &small);
         },
         [&] { ::setrlimit(RLIMIT_FSIZE, &before); }, path},
    };
    // The superuser writes into a read-only folder all the same.
    if (::geteuid() != 0)
        cases.push_back({"a read-only game folder",
                         [&] {
                             std::filesystem::permissions(m_Dir.Path(), std::filesystem::perms::owner_write,
                                                          std::filesystem::perm_options::remove);
                         },
                         [&] {
                             std::filesystem::permissions(m_Dir.Path(), std::filesystem::perms::owner_write,
                                                          std::filesystem::perm_options::add);
                         },
                         path + " cannot be written"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        c.Prepare();
        const CollectOutcome outcome = OnCollect(m_Document, m_Ui);
        c.Undo();
        EXPECT_TRUE(outcome.Ran);
        EXPECT_FALSE(outcome.Succeeded());
        EXPECT_NE(outcome.Error.find(c.Expected), std::string::npos) << outcome.Error;
        ASSERT_FALSE(outcome.Lines.empty());
        EXPECT_NE(outcome.Lines[0].find("not taken"), std::string::npos) << outcome.Lines[0];
        EXPECT_NE(outcome.Lines[0].find("left in INBOX"), std::string::npos) << outcome.Lines[0];
        EXPECT_FALSE(FileExists(outside));
        ExpectUntouched();
    }
    EXPECT_TRUE(sink.WaitForMessages(1).empty()) << "nobody is told of orders not taken";
}

TEST_F(CollectRunTest, CancelStopsBetweenMessages)
{
    Save(Attached("p1@example.net", "m1", "alpha.x1", OrderBytes(0)));
    Save(Attached("p2@example.net", "m2", "alpha.x2", OrderBytes(1)));
    m_Document.Setup.AcknowledgeOrders = 0;
    struct Case
    {
        const char* Name;
        int CancelAtPump; ///< the first pump opens the mailbox, then one per message read, then filed
        std::vector<std::string> LeftInInbox;
        bool FirstTaken;
        const char* Line;
    };
    const Case cases[] = {
        {"while reading", 3, {"m1", "m2"}, false, "Cancelled: nothing was collected"},
        {"while filing", 5, {"m2"}, true, "Cancelled: 1 message left in INBOX"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        RecordingUserInterface ui;
        ui.CancelAtPump = c.CancelAtPump;
        const CollectOutcome outcome = OnCollect(m_Document, ui);
        EXPECT_TRUE(outcome.Cancelled);
        EXPECT_FALSE(outcome.Succeeded());
        EXPECT_EQ(IdsIn("INBOX"), c.LeftInInbox);
        EXPECT_EQ(FileExists(OrderFile(1)), c.FirstTaken);
        EXPECT_FALSE(FileExists(OrderFile(2)));
        EXPECT_EQ(outcome.Lines[outcome.Lines.size() - 2], c.Line);
    }
}

TEST_F(CollectRunTest, ATurnGeneratedDuringTheCollectionLeavesTheRestForTheNext)
{
    m_Document.Setup.AcknowledgeOrders = 0;
    struct Case
    {
        const char* Name;
        std::uint8_t Flags;
        std::uint16_t Turn;
        std::string Expected;
    };
    const Case cases[] = {
        {"being generated", 0x02, Turn, m_Dir.File("alpha.hst") + " is in use"},
        {"generated", 0, Turn + 1, m_Dir.File("alpha.hst") + " changed during the collection"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        // A mailbox of its own for each case.
        m_User = Server().NewUser();
        m_Password.emplace("TURNPOST_IMAP_PASSWORD", Dovecot::Password(m_User));
        m_Document.Setup.CollectUser = m_User;
        Save(Attached("p1@example.net", "m1", "alpha.x1", OrderBytes(0)));
        Save(Attached("p2@example.net", "m2", "alpha.x2", OrderBytes(1)));
        Save(Attached("p3@example.net", "m3", "alpha.x3", OrderBytes(2, GameId, Turn + 1)));
        WriteHost();
        std::filesystem::remove(OrderFile(1));
        RecordingUserInterface ui;
        // The host starts on the next turn once the first message is filed.
        ui.OnResult = [&](const std::string& line) {
            if (line.rfind("Message 1 ", 0) == 0) {
                GameFileFacts host;
                host.FileType = 2;
                host.PlayerIndex = 31;
                host.Flags = c.Flags;
                host.Turn = c.Turn;
                m_Dir.Write("alpha.hst", GameFileBytes(host));
            }
        };
        const CollectOutcome outcome = OnCollect(m_Document, ui);
        EXPECT_TRUE(outcome.Ran);
        ASSERT_GE(outcome.Lines.size(), 3u);
        for (const std::size_t i : {1u, 2u}) {
            EXPECT_NE(outcome.Lines[i].find("not judged (" + c.Expected + "); left in INBOX"),
                      std::string::npos)
                << outcome.Lines[i];
        }
        EXPECT_TRUE(FileExists(OrderFile(1)));
        EXPECT_FALSE(FileExists(OrderFile(2)));
        // The order for the next turn, refused by the first judgement, is not filed as rejected.
        EXPECT_EQ(IdsIn("INBOX"), (std::vector<std::string>{"m2", "m3"}));
        EXPECT_EQ(outcome.Orders.size(), 1u);
    }
}

TEST_F(CollectRunTest, AReplyThatCannotBeSentIsALineNotAFailure)
{
    m_Document.Setup.SmtpServer = "127.0.0.1:1";
    SaveFirstOrder();
    const CollectOutcome outcome = OnCollect(m_Document, m_Ui);
    EXPECT_TRUE(outcome.Succeeded()) << outcome.Error;
    EXPECT_EQ(ReadFileBytes(OrderFile(1)), OrderBytes(0));
    EXPECT_EQ(IdsIn("Turnpost.Processed"), std::vector<std::string>{"m1"});
    ASSERT_EQ(outcome.Lines.size(), 3u);
    EXPECT_EQ(outcome.Lines[1].rfind("Acknowledgement to p1@example.net not sent: ", 0), 0u)
        << outcome.Lines[1];
}

// The login goes to a server of our own that refuses it: one attempt, never a second.
TEST(CollectLoginTest, ARefusedLoginIsTriedOnceAndItsPasswordForgotten)
{
    test::ScriptedSmtpPeer peer;
    peer.Send("* OK ready\r\n")
        .On("A001 CAPABILITY", "* CAPABILITY IMAP4rev1 UIDPLUS\r\nA001 OK\r\n")
        .On("A002 LOGIN", "A002 NO [AUTHENTICATIONFAILED] Authentication failed.\r\n")
        .Close();
    peer.Start();
    TempDir dir;
    GameFileFacts host;
    host.FileType = 2;
    host.PlayerIndex = 31;
    dir.Write("alpha.hst", GameFileBytes(host));
    GameDocument document;
    document.Setup.UniverseFile = dir.File("alpha.xy");
    document.Setup.CollectServer = peer.Address();
    document.Setup.CollectSecurity = 0;
    document.Setup.CollectUser = "host";
    const ScopedEnvironment noPassword("TURNPOST_IMAP_PASSWORD", std::nullopt);
    RecordingUserInterface ui;
    ui.Passwords.push_back("typed-wrong");

    const CollectOutcome outcome = OnCollect(document, ui);
    peer.Wait();
    EXPECT_FALSE(outcome.Ran);
    EXPECT_NE(outcome.Error.find("the server refused the login"), std::string::npos) << outcome.Error;
    EXPECT_EQ(peer.Connections(), 1);
    const std::string& received = peer.Received();
    EXPECT_EQ(received.find("LOGIN"), received.rfind("LOGIN")) << received;
    EXPECT_EQ(ui.ForgottenPasswords, std::vector<std::string>{"host@" + peer.Address()});
}

} // namespace
} // namespace turnpost

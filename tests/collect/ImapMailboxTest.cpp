#include "collect/ImapMailbox.h"

#include "support/Dovecot.h"
#include "support/ScopedEnvironment.h"

#include <gtest/gtest.h>

namespace turnpost {
namespace {

using test::Dovecot;
using test::ScopedEnvironment;

// A short message as the server gives it back: CR LF line ends. Its body looks like the server's
// answers, which must come through as bytes of the message and nothing else.
std::string Message(const std::string& subject)
{
    return "From: Player One <one@example.net>\r\nTo: host@example.net\r\nSubject: " + subject +
           "\r\nMessage-ID: <" + subject +
           "@example.net>\r\n\r\nOrders for year 2401.\r\n"
           "A006 OK done\r\n* 1 FETCH (UID 9 BODY[] {3}\r\nabc)\r\n";
}

class ImapMailboxTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!Server().IsRunning())
            GTEST_SKIP() << Server().Error();
        m_User = Server().NewUser();
    }

    static Dovecot& Server() { return Dovecot::Shared(); }

    ImapSettings Settings(ImapSecurity security, const std::string& address = "127.0.0.1") const
    {
        ImapSettings settings;
        settings.Security = security;
        settings.Server = address + ":" +
                          std::to_string(security == ImapSecurity::ImplicitTls ? Server().ImplicitTlsPort()
                                                                               : Server().StartTlsPort());
        settings.User = m_User;
        settings.Secret = Dovecot::Password(m_User);
        settings.TimeoutSeconds = 20;
        return settings;
    }

    // The flags doveadm sees on one message, to check what the mailbox left behind.
    std::string Flags(const std::string& folder, std::uint32_t uid) const
    {
        return Server().Doveadm("fetch -u " + m_User + " flags mailbox '" + folder + "' uid " +
                                std::to_string(uid));
    }

    std::string m_User;
    ScopedEnvironment m_TrustTestAuthority{"SSL_CERT_FILE", Dovecot::Shared().AuthorityFile()};
};

// No server is needed: the refusal comes before any connection.
TEST(ImapMailboxSettingsTest, PlainTextBeyondThisMachineIsRefusedBeforeConnecting)
{
    ImapSettings settings;
    settings.Security = ImapSecurity::None;
    settings.User = "host";
    settings.Secret = "secret";
    // A documentation address, never routed: a connection attempt would fail, soon, with another text.
    settings.Server = "192.0.2.1:143";
    settings.TimeoutSeconds = 1;
    CImapMailbox mailbox(settings);
    EXPECT_NE(mailbox.SettingsError().find("plain text"), std::string::npos);
    const ImapUids uids = mailbox.ListUids("INBOX");
    EXPECT_FALSE(uids.Ok);
    EXPECT_EQ(uids.Error, mailbox.SettingsError());
}

TEST_F(ImapMailboxTest, LogsInOverEachSecurity)
{
    for (const ImapSecurity security :
         {ImapSecurity::None, ImapSecurity::StartTls, ImapSecurity::ImplicitTls}) {
        SCOPED_TRACE(static_cast<int>(security));
        CImapMailbox mailbox(Settings(security));
        const ImapCapabilities offered = mailbox.Capabilities();
        ASSERT_TRUE(offered.Ok) << offered.Error;
        EXPECT_TRUE(offered.Move);
        EXPECT_TRUE(offered.UidPlus);
        const ImapUids uids = mailbox.ListUids("INBOX");
        ASSERT_TRUE(uids.Ok) << uids.Error;
        EXPECT_TRUE(uids.Uids.empty());
    }
}

TEST_F(ImapMailboxTest, LogsInWithABearerToken)
{
    ImapSettings settings = Settings(ImapSecurity::ImplicitTls);
    settings.Login = ImapLogin::OAuth2;
    CImapMailbox mailbox(settings);
    const ImapUids uids = mailbox.ListUids("INBOX");
    ASSERT_TRUE(uids.Ok) << uids.Error;
    // The token must go out as a token, not as a password that happens to work here.
    const std::string method = Server().LoginMethod(m_User);
    EXPECT_TRUE(method == "OAUTHBEARER" || method == "XOAUTH2") << method;

    settings.Secret = "expired-token";
    CImapMailbox refused(settings);
    const ImapUids none = refused.ListUids("INBOX");
    EXPECT_FALSE(none.Ok);
    EXPECT_NE(none.Error.find("the server refused the login"), std::string::npos) << none.Error;
}

TEST_F(ImapMailboxTest, RefusalsSayWhy)
{
    struct Case
    {
        const char* Name;
        ImapSettings Settings;
        std::optional<std::string> CertificateFile;
        const char* Expected;
    };
    ImapSettings wrongPassword = Settings(ImapSecurity::ImplicitTls);
    wrongPassword.Secret = "not-the-password";
    const Case cases[] = {
        {"wrong password", wrongPassword, Server().AuthorityFile(), "the server refused the login"},
        {"untrusted authority over TLS", Settings(ImapSecurity::ImplicitTls), std::nullopt, "certificate"},
        {"untrusted authority over STARTTLS", Settings(ImapSecurity::StartTls), std::nullopt, "certificate"},
        {"certificate for another name", Settings(ImapSecurity::ImplicitTls, Dovecot::WrongNameAddress),
         Server().AuthorityFile(), "certificate"},
        {"nobody listening",
         [&] {
             ImapSettings settings = Settings(ImapSecurity::ImplicitTls);
             settings.Server = "127.0.0.1:1";
             return settings;
         }(),
         Server().AuthorityFile(), "could not connect to 127.0.0.1:1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const ScopedEnvironment trust("SSL_CERT_FILE", c.CertificateFile);
        CImapMailbox mailbox(c.Settings);
        const ImapUids uids = mailbox.ListUids("INBOX");
        EXPECT_FALSE(uids.Ok);
        EXPECT_NE(uids.Error.find(c.Expected), std::string::npos) << uids.Error;
    }
}

TEST_F(ImapMailboxTest, ListsFetchesUnreadAndMoves)
{
    ASSERT_TRUE(Server().Save(m_User, "INBOX", Message("first")));
    ASSERT_TRUE(Server().Save(m_User, "INBOX", Message("second")));
    ASSERT_TRUE(Server().Save(m_User, "INBOX", Message("third")));
    Server().Doveadm("flags add -u " + m_User + " '\\Seen' mailbox INBOX uid 3");

    CImapMailbox mailbox(Settings(ImapSecurity::ImplicitTls));
    const ImapUids uids = mailbox.ListUids("INBOX");
    ASSERT_TRUE(uids.Ok) << uids.Error;
    EXPECT_EQ(uids.Uids, (std::vector<std::uint32_t>{1, 2, 3}));

    const ImapMessage second = mailbox.Fetch("INBOX", 2);
    ASSERT_TRUE(second.Ok) << second.Error;
    EXPECT_EQ(second.Bytes, Message("second"));
    EXPECT_EQ(Flags("INBOX", 2).find("\\Seen"), std::string::npos) << Flags("INBOX", 2);
    // A message the player's host had read stays read.
    ASSERT_TRUE(mailbox.Fetch("INBOX", 3).Ok);
    EXPECT_NE(Flags("INBOX", 3).find("\\Seen"), std::string::npos);

    const ImapMessage missing = mailbox.Fetch("INBOX", 9);
    EXPECT_FALSE(missing.Ok);
    EXPECT_NE(missing.Error.find("no message 9"), std::string::npos) << missing.Error;

    // Dovecot's maildir puts '.' between levels: the setup's '/' must become it.
    const ImapResult created = mailbox.CreateFolder("Turnpost/Processed");
    ASSERT_TRUE(created.Ok) << created.Error;
    EXPECT_TRUE(mailbox.CreateFolder("Turnpost/Processed").Ok) << "an existing folder is left as it is";
    EXPECT_EQ(mailbox.HierarchySeparator().Separator, '.');
    EXPECT_NE(Server().Doveadm("mailbox list -u " + m_User).find("Turnpost.Processed"), std::string::npos);

    const ImapResult moved = mailbox.Move("INBOX", 2, "Turnpost/Processed");
    ASSERT_TRUE(moved.Ok) << moved.Error;
    EXPECT_EQ(mailbox.ListUids("INBOX").Uids, (std::vector<std::uint32_t>{1, 3}));
    const ImapUids processed = mailbox.ListUids("Turnpost/Processed");
    ASSERT_EQ(processed.Uids.size(), 1u);
    EXPECT_EQ(mailbox.Fetch("Turnpost/Processed", processed.Uids[0]).Bytes, Message("second"));
}

TEST_F(ImapMailboxTest, MovesWithoutMoveExpungingOnlyThatMessage)
{
    ASSERT_TRUE(Server().Save(m_User, "INBOX", Message("first")));
    ASSERT_TRUE(Server().Save(m_User, "INBOX", Message("second")));
    // Another client's deleted message, which a plain EXPUNGE would take with it.
    Server().Doveadm("flags add -u " + m_User + " '\\Deleted' mailbox INBOX uid 2");

    // Plain text: the test certificate does not name this address, and it is loopback.
    CImapMailbox mailbox(Settings(ImapSecurity::None, Dovecot::NoMoveAddress));
    const ImapCapabilities offered = mailbox.Capabilities();
    ASSERT_TRUE(offered.Ok) << offered.Error;
    EXPECT_FALSE(offered.Move);
    EXPECT_TRUE(offered.UidPlus);

    ASSERT_TRUE(mailbox.CreateFolder("Done").Ok);
    const ImapResult moved = mailbox.Move("INBOX", 1, "Done");
    ASSERT_TRUE(moved.Ok) << moved.Error;
    EXPECT_EQ(mailbox.ListUids("INBOX").Uids, (std::vector<std::uint32_t>{2}));
    EXPECT_EQ(mailbox.ListUids("Done").Uids.size(), 1u);
}

TEST_F(ImapMailboxTest, RefusesMessagesOverTheLimitAndUnknownFolders)
{
    ASSERT_TRUE(Server().Save(m_User, "INBOX", Message("large")));
    ImapSettings settings = Settings(ImapSecurity::ImplicitTls);
    settings.MaxMessageBytes = 20;
    CImapMailbox mailbox(settings);
    const ImapMessage large = mailbox.Fetch("INBOX", 1);
    EXPECT_FALSE(large.Ok);
    EXPECT_NE(large.Error.find("larger than 20 bytes"), std::string::npos) << large.Error;

    const ImapUids unknown = mailbox.ListUids("NoSuchFolder");
    EXPECT_FALSE(unknown.Ok);
    EXPECT_NE(unknown.Error.find("refused to open the folder"), std::string::npos) << unknown.Error;

    const ImapResult badTarget = mailbox.Move("INBOX", 1, "Turnpost/*");
    EXPECT_FALSE(badTarget.Ok);
    EXPECT_NE(badTarget.Error.find("'*'"), std::string::npos) << badTarget.Error;
    EXPECT_EQ(mailbox.ListUids("INBOX").Uids, (std::vector<std::uint32_t>{1}));
}

} // namespace
} // namespace turnpost

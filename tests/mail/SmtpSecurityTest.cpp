#include "mail/MailAttachment.h"
#include "mail/MailMessage.h"
#include "mail/SMTPConnection.h"
#include "platform/LastError.h"
#include "platform/TlsSession.h"
#include "support/PythonSmtpServer.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"
#include "support/TestCertificates.h"

#include <gtest/gtest.h>

#include <memory>

using namespace turnpost;
using namespace turnpost::test;

namespace {

const char* const Login = "alice:s3cret pass";

CMailMessage TurnMessage()
{
    CMailMessage message;
    message.From = CMailAddress("host@example.org");
    message.Subject = "Turn 2401";
    message.AddRecipient(CMailAddress("player@example.org"));
    message.SetBody("Your turn is attached.");
    return message;
}

struct Client
{
    SmtpSecurity Security = SmtpSecurity::None;
    std::string User;
    std::string Password;
    std::string Host = "localhost";
};

class SmtpSecurityTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { s_Certificates = std::make_unique<TestCertificates>(); }
    static void TearDownTestSuite() { s_Certificates.reset(); }
    void SetUp() override { ASSERT_TRUE(s_Certificates->IsValid()) << s_Certificates->Error(); }

    /// Server options with the certificate for localhost, or for another host name.
    static SmtpServerOptions WithCertificate(SmtpServerOptions options, bool otherHost = false)
    {
        options.Certificate =
            otherHost ? s_Certificates->OtherCertificate() : s_Certificates->LocalCertificate();
        options.Key = otherHost ? s_Certificates->OtherKey() : s_Certificates->LocalKey();
        return options;
    }

    static void Configure(CSMTPConnection& connection, const Client& client)
    {
        connection.SetTimeout(10000);
        connection.SetSecurity(client.Security);
        if (!client.User.empty())
            connection.SetLogin(client.User, client.Password);
    }

    static std::unique_ptr<TestCertificates> s_Certificates;
    ScopedEnvironment m_Trust{"SSL_CERT_FILE",
                              s_Certificates ? s_Certificates->AuthorityFile() : std::string()};
};

std::unique_ptr<TestCertificates> SmtpSecurityTest::s_Certificates;

} // namespace

TEST_F(SmtpSecurityTest, DeliversOverTlsWithLogin)
{
    struct Case
    {
        const char* name;
        SmtpServerOptions server;
        Client client;
        const char* user; // who the server saw log in
        bool bigAttachment = false;
    };
    SmtpServerOptions startTls;
    startTls.StartTls = true;
    startTls.RequireStartTls = true;
    startTls.Login = Login;
    SmtpServerOptions loginOnly = startTls;
    loginOnly.Mechanisms = "LOGIN";
    SmtpServerOptions implicit;
    implicit.ImplicitTls = true;
    implicit.Login = Login;
    SmtpServerOptions implicitWithoutEhlo = implicit;
    implicitWithoutEhlo.RefuseEhlo = true;
    SmtpServerOptions clearLoopback;
    clearLoopback.Login = Login;
    clearLoopback.AuthInClear = true;
    const Case cases[] = {
        {"STARTTLS, AUTH PLAIN", startTls, {SmtpSecurity::StartTls, "alice", "s3cret pass"}, "alice"},
        {"STARTTLS, AUTH LOGIN", loginOnly, {SmtpSecurity::StartTls, "alice", "s3cret pass"}, "alice"},
        // Far more than one TLS record and the socket's buffer: the writes must wait and go on.
        {"implicit TLS, AUTH PLAIN",
         implicit,
         {SmtpSecurity::ImplicitTls, "alice", "s3cret pass"},
         "alice",
         true},
        {"implicit TLS by address", implicit, {SmtpSecurity::ImplicitTls, "", "", "127.0.0.1"}, ""},
        // Nothing is needed from the extensions, so a server that knows only HELO will do.
        {"implicit TLS, HELO only", implicitWithoutEhlo, {SmtpSecurity::ImplicitTls, "", ""}, ""},
        // A password may go in clear where the connection never leaves this machine.
        {"login in clear over loopback",
         clearLoopback,
         {SmtpSecurity::None, "alice", "s3cret pass"},
         "alice"},
    };
    TempDir dir;
    CMailAttachment attachment;
    ASSERT_TRUE(attachment.Load(dir.Write("game.m1", std::string(3 << 20, '\x5a'))));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PythonSmtpServer server(WithCertificate(c.server));
        ASSERT_TRUE(server.IsRunning()) << server.Error();
        CSMTPConnection connection;
        Configure(connection, c.client);
        ASSERT_TRUE(connection.Connect(server.Address(c.client.Host)))
            << GetLastError() << " " << connection.GetError().Text;
        CMailMessage message = TurnMessage();
        if (c.bigAttachment)
            message.AddAttachment(attachment);
        ASSERT_TRUE(connection.SendMessage(message)) << connection.GetError().Reply;
        EXPECT_TRUE(connection.Disconnect());

        const auto record = server.Record();
        ASSERT_EQ(record.Messages.size(), 1u);
        EXPECT_EQ(record.Messages[0].Tls, c.client.Security != SmtpSecurity::None);
        EXPECT_EQ(record.Messages[0].User, c.user);
        EXPECT_NE(record.Messages[0].Content.find("Your turn is attached."), std::string::npos);
        if (c.bigAttachment) {
            EXPECT_NE(record.Messages[0].Content.find(std::string(attachment.GetEncodedText())),
                      std::string::npos);
        }
        if (c.client.Security != SmtpSecurity::None) {
            EXPECT_FALSE(record.SawInClear("AUTH"));
            EXPECT_FALSE(record.SawInClear("MAIL"));
        }
        if (c.client.Security == SmtpSecurity::StartTls) {
            // The extensions are asked for again once the stream is protected.
            ASSERT_GE(record.Lines.size(), 3u);
            EXPECT_EQ(record.Lines[0].Text.substr(0, 5), "EHLO ");
            EXPECT_EQ(record.Lines[1].Text, "STARTTLS");
            EXPECT_EQ(record.Lines[2].Text.substr(0, 5), "EHLO ");
            EXPECT_TRUE(record.Lines[2].Tls);
        }
    }
}

TEST_F(SmtpSecurityTest, FailuresSayWhatHappenedAndSendNothingInClear)
{
    struct Case
    {
        const char* name;
        SmtpServerOptions server;
        bool otherCertificate;
        Client client;
        const char* error;
    };
    SmtpServerOptions plainWithClearLogin;
    plainWithClearLogin.Login = Login;
    plainWithClearLogin.AuthInClear = true;
    SmtpServerOptions startTls;
    startTls.StartTls = true;
    startTls.Login = Login;
    SmtpServerOptions refusing = startTls;
    refusing.StartTls = false;
    refusing.RefuseStartTls = true;
    SmtpServerOptions noEhlo = startTls;
    noEhlo.RefuseEhlo = true;
    SmtpServerOptions noMechanism = startTls;
    noMechanism.Mechanisms = "NONE";
    SmtpServerOptions implicit;
    implicit.ImplicitTls = true;
    implicit.Login = Login;
    const Client alice{SmtpSecurity::StartTls, "alice", "s3cret pass"};
    Client wrongPassword = alice;
    wrongPassword.Password = "guess";
    Client implicitAlice = alice;
    implicitAlice.Security = SmtpSecurity::ImplicitTls;
    const Case cases[] = {
        {"STARTTLS not offered", plainWithClearLogin, false, alice, "The server does not offer STARTTLS"},
        {"STARTTLS refused", refusing, false, alice, "454 4.7.0 TLS not available due to temporary reason"},
        {"EHLO refused", noEhlo, false, alice, "502 5.5.2 Error: command not recognized"},
        {"certificate for another host", startTls, true, alice,
         "TLS handshake failed: certificate verify failed (hostname mismatch)"},
        {"implicit TLS, certificate for another host", implicit, true, implicitAlice,
         "TLS handshake failed: certificate verify failed (hostname mismatch)"},
        {"no login offered", noMechanism, false, alice, "The server does not offer a login (AUTH)"},
        {"wrong password", startTls, false, wrongPassword, "535 5.7.8 Authentication credentials invalid"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PythonSmtpServer server(WithCertificate(c.server, c.otherCertificate));
        ASSERT_TRUE(server.IsRunning()) << server.Error();
        CSMTPConnection connection;
        Configure(connection, c.client);
        EXPECT_FALSE(connection.Connect(server.Address("localhost")));
        EXPECT_NE(GetLastError(), 0u);
        // Words where the connection had to give up by itself, else the server's refusal.
        const SmtpError& error = connection.GetError();
        EXPECT_EQ(error.Text.empty() ? error.Reply : error.Text, c.error);
        EXPECT_EQ(error.CertificateRejected, c.otherCertificate);
        EXPECT_FALSE(connection.IsConnected());

        const auto record = server.Record();
        EXPECT_FALSE(record.SawInClear("AUTH"));
        for (const auto& line : record.Lines)
            EXPECT_NE(line.Text.substr(0, 4), "MAIL") << line.Text;
        EXPECT_TRUE(record.Messages.empty());
    }
}

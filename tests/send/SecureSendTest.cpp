#include "send/SendRun.h"
#include "support/PythonSmtpServer.h"
#include "support/RecordingUserInterface.h"
#include "support/ScopedEnvironment.h"
#include "support/TestCertificates.h"

#include <gtest/gtest.h>

using namespace turnpost;
using namespace turnpost::test;

// A whole send run against a server that wants STARTTLS and a login: the player line names what
// went wrong in words, and the report mail travels the same way as the players' mail.
TEST(SecureSendTest, PlayerLinesNameTlsAndLoginFailures)
{
    TestCertificates certificates;
    ASSERT_TRUE(certificates.IsValid()) << certificates.Error();
    ScopedEnvironment trust("SSL_CERT_FILE", certificates.AuthorityFile());
    ScopedEnvironment noPassword("TURNPOST_SMTP_PASSWORD", std::nullopt);
    TempDir dir;

    struct Case
    {
        const char* name;
        bool otherCertificate;
        const char* passwordCommand;
        const char* playerLine;
        std::size_t messages; // what the server accepted: the player's mail and the report
    };
    const Case cases[] = {
        {"all well", false, "echo 'right one'", "[Player 1] Sent OK\n", 2},
        {"wrong password", false, "echo wrong",
         "[Player 1] ** ERROR: Connection error 10043 (the server refused the login): 535 5.7.8 "
         "Authentication "
         "credentials invalid\n",
         0},
        {"certificate for another host", true, "echo 'right one'",
         "[Player 1] ** ERROR: TLS handshake failed: certificate verify failed (hostname mismatch)\n", 0},
        {"password command fails", false, "exit 2",
         "[Player 1] ** ERROR: Password command failed: exit 2 (exit status 2)\n", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SmtpServerOptions options;
        options.StartTls = true;
        options.RequireStartTls = true;
        options.Login = "alice:right one";
        options.Certificate =
            c.otherCertificate ? certificates.OtherCertificate() : certificates.LocalCertificate();
        options.Key = c.otherCertificate ? certificates.OtherKey() : certificates.LocalKey();
        PythonSmtpServer server(options);
        ASSERT_TRUE(server.IsRunning()) << server.Error();

        GameDocument document;
        GameSetup& setup = document.Setup;
        setup.GameName = "Alpha";
        setup.SmtpServer = server.Address("localhost");
        setup.SmtpSecurity = 1;
        setup.SmtpUser = "alice";
        setup.SmtpPasswordCommand = c.passwordCommand;
        setup.ReturnAddress = "host@example.org";
        setup.SmtpTimeout = 10000;
        setup.EmailReport = 1;
        setup.ReportAddress = "host@example.org";
        setup.Players[0].Selected = 1;
        setup.Players[0].EmailAddress = "one@example.org";
        setup.Players[0].PlayerFile = dir.Write("alpha.m1", "turn");
        document.CommandLineRun = 1;
        RecordingUserInterface ui(&document);
        ui.FillRows();

        const SendOutcome outcome = OnSend(document, ui);
        EXPECT_NE(outcome.Summary.find(c.playerLine), std::string::npos) << outcome.Summary;
        const auto record = server.Record();
        EXPECT_EQ(record.Messages.size(), c.messages);
        for (const auto& message : record.Messages) {
            EXPECT_TRUE(message.Tls);
            EXPECT_EQ(message.User, "alice");
        }
        // The password reaches neither the summary nor the report mail.
        EXPECT_EQ(outcome.Summary.find("right one"), std::string::npos);
        for (const auto& message : record.Messages)
            EXPECT_EQ(message.Content.find("right one"), std::string::npos);
    }
}

// A password from the dialog (or its keyring) that the server refuses must not come back unasked at
// the next run; one from the environment or a command is the host's own business.
TEST(SecureSendTest, RefusedPasswordFromTheUserInterfaceIsForgotten)
{
    TestCertificates certificates;
    ASSERT_TRUE(certificates.IsValid()) << certificates.Error();
    ScopedEnvironment trust("SSL_CERT_FILE", certificates.AuthorityFile());
    ScopedEnvironment noPassword("TURNPOST_SMTP_PASSWORD", std::nullopt);

    const struct
    {
        const char* name;
        const char* asked;   // what the dialog answers; nullptr: a password command gives it
        const char* command; // the password command, when there is one
        bool forgotten;
    } cases[] = {
        {"refused password from the dialog", "wrong", "", true},
        {"accepted password from the dialog", "right one", "", false},
        {"refused password from a command", nullptr, "echo wrong", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SmtpServerOptions options;
        options.ImplicitTls = true;
        options.Login = "alice:right one";
        options.Certificate = certificates.LocalCertificate();
        options.Key = certificates.LocalKey();
        PythonSmtpServer server(options);
        ASSERT_TRUE(server.IsRunning()) << server.Error();

        GameDocument document;
        GameSetup& setup = document.Setup;
        setup.SmtpServer = server.Address("localhost");
        setup.SmtpSecurity = 2;
        setup.SmtpUser = "alice";
        setup.SmtpPasswordCommand = c.command;
        setup.ReturnAddress = "host@example.org";
        setup.Players[0] = {1, "one@example.org", ""};
        setup.Players[1] = {1, "two@example.org", ""};
        document.CommandLineRun = 1;
        RecordingUserInterface ui(&document);
        ui.FillRows();
        if (c.asked)
            ui.Passwords.push_back(std::string(c.asked));

        OnSend(document, ui);
        const std::vector<std::string> expected =
            c.forgotten ? std::vector<std::string>{"alice@" + setup.SmtpServer} : std::vector<std::string>{};
        EXPECT_EQ(ui.ForgottenPasswords, expected);
    }
}

// Every further try of refused credentials counts against the account at the server: a refused login
// or a certificate that did not verify stops the run's connections, the report mail included.
TEST(SecureSendTest, RefusalIsMetOncePerRun)
{
    TestCertificates certificates;
    ASSERT_TRUE(certificates.IsValid()) << certificates.Error();
    ScopedEnvironment trust("SSL_CERT_FILE", certificates.AuthorityFile());
    ScopedEnvironment noPassword("TURNPOST_SMTP_PASSWORD", std::nullopt);

    const struct
    {
        const char* name;
        bool otherCertificate;
        const char* reason;
        std::size_t logins; // AUTH commands the server received
    } cases[] = {
        {"wrong password", false, "the server refused the login (see Player 1)", 1},
        {"certificate for another host", true, "the server's certificate was not accepted (see Player 1)", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SmtpServerOptions options;
        options.StartTls = true;
        options.Login = "alice:right one";
        options.Certificate =
            c.otherCertificate ? certificates.OtherCertificate() : certificates.LocalCertificate();
        options.Key = c.otherCertificate ? certificates.OtherKey() : certificates.LocalKey();
        PythonSmtpServer server(options);
        ASSERT_TRUE(server.IsRunning()) << server.Error();

        GameDocument document;
        GameSetup& setup = document.Setup;
        setup.SmtpServer = server.Address("localhost");
        setup.SmtpSecurity = 1;
        setup.SmtpUser = "alice";
        setup.SmtpPasswordCommand = "echo wrong";
        setup.ReturnAddress = "host@example.org";
        setup.EmailReport = 1;
        setup.ReportAddress = "host@example.org";
        setup.Players[0] = {1, "one@example.org", ""};
        setup.Players[4] = {1, "five@example.org", ""};
        setup.Players[8] = {1, "nine@example.org", ""};
        document.CommandLineRun = 1;
        RecordingUserInterface ui(&document);
        ui.FillRows();

        const SendOutcome outcome = OnSend(document, ui);
        const std::string stopped = std::string("** ERROR: not sent: ") + c.reason + "\n";
        EXPECT_NE(outcome.Summary.find("[Player 5] " + stopped), std::string::npos) << outcome.Summary;
        EXPECT_NE(outcome.Summary.find("[Player 9] " + stopped), std::string::npos) << outcome.Summary;
        EXPECT_EQ(outcome.Failed, 3);
        EXPECT_TRUE(outcome.ReportMailFailed);
        EXPECT_EQ(outcome.ReportMailError, std::string("not sent: ") + c.reason);

        std::size_t logins = 0;
        std::size_t connections = 0;
        for (const auto& line : server.Record().Lines) {
            logins += line.Text.rfind("AUTH", 0) == 0;
            connections += line.Text.rfind("EHLO", 0) == 0 && !line.Tls;
        }
        EXPECT_EQ(logins, c.logins);
        EXPECT_EQ(connections, 1u);
    }
}

// A server over TLS that ends each connection after a few messages: every player is mailed once,
// and each new connection resumes the TLS session of the one before.
#include "send/SendRun.h"
#include "support/PythonSmtpServer.h"
#include "support/RecordingUserInterface.h"
#include "support/ScopedEnvironment.h"
#include "support/TestCertificates.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace turnpost;
using namespace turnpost::test;

TEST(TlsReconnectTest, EveryPlayerOnceAndTheSessionResumed)
{
    TestCertificates certificates;
    ASSERT_TRUE(certificates.IsValid()) << certificates.Error();
    ScopedEnvironment trust("SSL_CERT_FILE", certificates.AuthorityFile());
    ScopedEnvironment password("TURNPOST_SMTP_PASSWORD", std::string("right one"));

    struct Case
    {
        const char* name;
        bool startTls;
        int closeAfter;
        int end421After;
        bool abrupt;
    };
    const Case cases[] = {
        {"SSL/TLS, closed without a word after two messages", false, 2, 0, false},
        {"SSL/TLS, 421 after two messages", false, 0, 2, false},
        {"STARTTLS, closed without a word after two messages", true, 2, 0, false},
        {"STARTTLS, 421 after two messages", true, 0, 2, false},
        // The socket closed under TLS without its goodbye (close_notify).
        {"SSL/TLS, closed at once without a word after two messages", false, 2, 0, true},
        {"SSL/TLS, 421 and closed at once after two messages", false, 0, 2, true},
        {"STARTTLS, closed at once without a word after two messages", true, 2, 0, true},
        {"STARTTLS, 421 and closed at once after two messages", true, 0, 2, true},
    };
    constexpr int Players = 5;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SmtpServerOptions options;
        options.ImplicitTls = !c.startTls;
        options.StartTls = c.startTls;
        options.RequireStartTls = c.startTls;
        options.Login = "alice:right one";
        options.Certificate = certificates.LocalCertificate();
        options.Key = certificates.LocalKey();
        options.CloseAfter = c.closeAfter;
        options.End421After = c.end421After;
        options.Abrupt = c.abrupt;
        PythonSmtpServer server(options);
        ASSERT_TRUE(server.IsRunning()) << server.Error();

        GameDocument document;
        GameSetup& setup = document.Setup;
        setup.GameName = "Alpha";
        setup.SmtpServer = server.Address("localhost");
        setup.SmtpSecurity = c.startTls ? 1 : 2;
        setup.SmtpUser = "alice";
        setup.ReturnAddress = "host@example.org";
        setup.SmtpTimeout = 10000;
        for (int i = 0; i < Players; ++i)
            setup.Players[static_cast<std::size_t>(i)] = {1, "p" + std::to_string(i + 1) + "@example.org",
                                                          ""};
        document.CommandLineRun = 1;
        RecordingUserInterface ui(&document);
        ui.FillRows();

        const SendOutcome outcome = OnSend(document, ui);
        std::string allSent;
        for (int i = 1; i <= Players; ++i)
            allSent += "[Player " + std::to_string(i) + "] Sent OK\n";
        EXPECT_EQ(outcome.Summary.substr(0, allSent.size()), allSent) << outcome.Summary;

        const auto record = server.Record();
        ASSERT_EQ(record.Messages.size(), static_cast<std::size_t>(Players));
        for (int i = 0; i < Players; ++i) {
            const auto& to = record.Messages[static_cast<std::size_t>(i)].To;
            EXPECT_EQ(to, std::vector<std::string>{"p" + std::to_string(i + 1) + "@example.org"});
        }
        // Two messages a connection: three connections, the second and third resumed.
        EXPECT_EQ(record.Handshakes, (std::vector<bool>{false, true, true}));
    }
}

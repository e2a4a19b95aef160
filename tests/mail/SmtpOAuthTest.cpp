#include "mail/Base64.h"
#include "mail/MailMessage.h"
#include "mail/SMTPConnection.h"
#include "mail/SmtpAuth.h"
#include "support/PythonSmtpServer.h"

#include <gtest/gtest.h>

namespace turnpost {
namespace {

using test::PythonSmtpServer;
using test::SmtpServerOptions;

TEST(SmtpOAuthTest, InitialResponsesCarryUserAndToken)
{
    EXPECT_EQ(XOAuth2InitialResponse("alice@example.org", "ya29.tok"),
              EncodeBase64Line("user=alice@example.org\x01"
                               "auth=Bearer ya29.tok\x01\x01"));
    EXPECT_EQ(OAuthBearerInitialResponse("a,b=c", "tok"), EncodeBase64Line("n,a=a=2Cb=3Dc,\x01"
                                                                           "auth=Bearer tok\x01\x01"));
}

// Tokens against aiosmtpd with handlers for both mechanisms; over loopback, so no TLS is needed.
TEST(SmtpOAuthTest, TokenLoginIsAcceptedOrRefusedOnce)
{
    struct Case
    {
        const char* Name;
        const char* Mechanisms; // what the server offers
        SmtpLoginMethod Method;
        const char* Token;
        bool Delivered;
        std::size_t Logins; // attempts the server saw
        const char* Error;  // the error's words, or the start of the server's reply
    };
    const Case cases[] = {
        {"XOAUTH2 accepted", "XOAUTH2,PLAIN", SmtpLoginMethod::OAuth2, "tok3n", true, 1, ""},
        {"XOAUTH2 refused", "XOAUTH2", SmtpLoginMethod::OAuth2, "expired", false, 1, "535 "},
        {"only OAUTHBEARER offered", "OAUTHBEARER", SmtpLoginMethod::OAuth2, "tok3n", true, 1, ""},
        {"OAUTHBEARER refused", "OAUTHBEARER", SmtpLoginMethod::OAuth2, "expired", false, 1, "535 "},
        {"no token login offered", "PLAIN,LOGIN", SmtpLoginMethod::OAuth2, "tok3n", false, 0,
         "The server offers no OAuth2 login (XOAUTH2 or OAUTHBEARER), only "},
        {"a password where only tokens go", "XOAUTH2", SmtpLoginMethod::Password, "tok3n", false, 0,
         "The server offers no login method known here (PLAIN or LOGIN), only XOAUTH2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        SmtpServerOptions options;
        options.Login = "alice@example.org:tok3n";
        options.Mechanisms = c.Mechanisms;
        options.AuthInClear = true;
        PythonSmtpServer server(options);
        ASSERT_TRUE(server.IsRunning()) << server.Error();

        CSMTPConnection connection;
        connection.SetTimeout(10000);
        connection.SetLogin("alice@example.org", c.Token);
        connection.SetLoginMethod(c.Method);
        bool delivered = connection.Connect(server.Address());
        if (delivered) {
            CMailMessage message;
            message.From = CMailAddress("alice@example.org");
            message.AddRecipient(CMailAddress("player@example.org"));
            message.SetBody("Turn.");
            delivered = connection.SendMessage(message);
            connection.Disconnect();
        }
        EXPECT_EQ(delivered, c.Delivered);
        const SmtpError& error = connection.GetError();
        if (!c.Delivered) {
            const std::string said = error.Text.empty() ? error.Reply : error.Text;
            EXPECT_EQ(said.substr(0, std::string(c.Error).size()), c.Error) << said;
            EXPECT_EQ(error.LoginRefused(), std::string(c.Error) == "535 ");
        }
        const auto record = server.Record();
        EXPECT_EQ(record.Logins.size(), c.Logins);
        EXPECT_EQ(record.Messages.size(), c.Delivered ? 1u : 0u);
        if (c.Delivered) {
            EXPECT_EQ(record.Messages[0].User, "alice@example.org");
        }
    }
}

} // namespace
} // namespace turnpost

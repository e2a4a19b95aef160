#include "mail/SmtpAuth.h"

#include <gtest/gtest.h>

using namespace turnpost;

TEST(SmtpExtensions, ReadsStartTlsAndMechanismsWhateverTheirCase)
{
    struct Case
    {
        const char* reply;
        bool startTls;
        std::vector<std::string> mechanisms;
    };
    const Case cases[] = {
        {"250-mail.example.org Hello\r\n250-SIZE 1000\r\n250-STARTTLS\r\n250 AUTH PLAIN LOGIN",
         true,
         {"PLAIN", "LOGIN"}},
        {"250-mail.example.org\r\n250-auth login cram-md5\r\n250 starttls", true, {"LOGIN", "CRAM-MD5"}},
        // The old announcement form, and a repeated one, give each mechanism once.
        {"250-mail\r\n250-AUTH=LOGIN PLAIN\r\n250 AUTH PLAIN  XOAUTH2", false, {"LOGIN", "PLAIN", "XOAUTH2"}},
        // The server's own name line is no extension, even when it reads like one.
        {"250 STARTTLS", false, {}},
        {"250-mail\r\n250-STARTTLSX\r\n250-AUTHX PLAIN\r\n250 AUTH", false, {}},
        {"250-mail\n250 STARTTLS", true, {}},
        // Names outside the SASL alphabet, and control bytes inside a line, give no mechanism.
        {"250-mail\r\n250 AUTH PL\rAIN LOGIN\x01X DIGEST-MD5 BAD=NAME \xc3\xa9",
         false,
         {"PL", "AIN", "LOGIN", "X", "DIGEST-MD5"}},
        {"", false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        const auto extensions = SmtpExtensions::Parse(c.reply);
        EXPECT_EQ(extensions.StartTls, c.startTls);
        EXPECT_EQ(extensions.AuthMechanisms, c.mechanisms);
    }
    EXPECT_TRUE(SmtpExtensions::Parse("250-x\r\n250 AUTH Plain").OffersAuth("plain"));
    EXPECT_TRUE(SmtpExtensions::Parse("250-x\r\n250-pipelining\r\n250 8BITMIME").Pipelining);
    EXPECT_FALSE(SmtpExtensions::Parse("250-PIPELINING\r\n250 8BITMIME").Pipelining);
}

TEST(SaslBase64, PlainResponseCarriesUserAndPasswordAfterNuls)
{
    // RFC 4616's own example: authzid empty, "tim", "tanstaaftanstaaf".
    EXPECT_EQ(PlainInitialResponse("tim", "tanstaaftanstaaf"), "AHRpbQB0YW5zdGFhZnRhbnN0YWFm");
}

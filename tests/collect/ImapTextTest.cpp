#include "collect/ImapFolder.h"
#include "collect/ImapResponse.h"
#include "collect/ImapServer.h"

#include <gtest/gtest.h>

namespace turnpost {
namespace {

TEST(ImapServerTest, ReadsHostAndPort)
{
    struct Case
    {
        const char* Text;
        ImapSecurity Security;
        const char* Host; ///< nullptr: refused
        std::uint16_t Port;
    };
    const Case cases[] = {
        {"imap.example.net", ImapSecurity::ImplicitTls, "imap.example.net", 993},
        {"imap.example.net", ImapSecurity::StartTls, "imap.example.net", 143},
        {"imap.example.net", ImapSecurity::None, "imap.example.net", 143},
        {"imap.example.net:1143", ImapSecurity::ImplicitTls, "imap.example.net", 1143},
        {"[::1]:2993", ImapSecurity::ImplicitTls, "::1", 2993},
        {"[2001:db8::1]", ImapSecurity::StartTls, "2001:db8::1", 143},
        {"2001:db8::1", ImapSecurity::ImplicitTls, "2001:db8::1", 993},
        {"", ImapSecurity::ImplicitTls, nullptr, 0},
        {"host:", ImapSecurity::ImplicitTls, nullptr, 0},
        {"host:0", ImapSecurity::ImplicitTls, nullptr, 0},
        {"host:65536", ImapSecurity::ImplicitTls, nullptr, 0},
        {"host:99x", ImapSecurity::ImplicitTls, nullptr, 0},
        {"[::1", ImapSecurity::ImplicitTls, nullptr, 0},
        {"[nonsense]:993", ImapSecurity::ImplicitTls, nullptr, 0},
        // What would change the URL libcurl is given.
        {"evil@host", ImapSecurity::ImplicitTls, nullptr, 0},
        {"host/INBOX", ImapSecurity::ImplicitTls, nullptr, 0},
        {"host name", ImapSecurity::ImplicitTls, nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text);
        const ImapServer server = ParseImapServer(c.Text, c.Security);
        EXPECT_EQ(server.Ok, c.Host != nullptr) << server.Error;
        if (c.Host != nullptr) {
            EXPECT_EQ(server.Host, c.Host);
            EXPECT_EQ(server.Port, c.Port);
        } else
            EXPECT_FALSE(server.Error.empty());
    }
    EXPECT_EQ(ParseImapServer("[::1]:143", ImapSecurity::StartTls).Url(ImapSecurity::StartTls),
              "imap://[::1]:143");
    EXPECT_EQ(ParseImapServer("mx", ImapSecurity::ImplicitTls).Url(ImapSecurity::ImplicitTls),
              "imaps://mx:993");
}

TEST(ImapServerTest, PlainTextOnlyToThisMachine)
{
    struct Case
    {
        const char* Host;
        bool Loopback;
    };
    const Case cases[] = {
        {"127.0.0.1", true},
        {"127.255.3.4", true},
        {"localhost", true},
        {"LocalHost", true},
        {"::1", true},
        {"0:0:0:0:0:0:0:1", true},
        {"::ffff:127.0.0.1", true},
        {"128.0.0.1", false},
        {"10.0.0.1", false},
        {"::2", false},
        {"::ffff:10.0.0.1", false},
        {"localhost.evil.net", false},
        {"127.0.0.1.nip.io", false},
        {"1::1", false},
        {"127.0.0", false},
        {"1:2:3:4:5:6:7:8:9", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsLoopbackHost(c.Host), c.Loopback) << c.Host;

    ImapSettings settings;
    settings.User = "host";
    settings.Secret = "secret";
    settings.Security = ImapSecurity::None;
    EXPECT_NE(CheckImapSettings(settings, ParseImapServer("mail.example.net", settings.Security))
                  .find("plain text"),
              std::string::npos);
    EXPECT_EQ(CheckImapSettings(settings, ParseImapServer("127.0.0.1:143", settings.Security)), "");
    settings.Security = ImapSecurity::StartTls;
    EXPECT_EQ(CheckImapSettings(settings, ParseImapServer("mail.example.net", settings.Security)), "");
    // libcurl writes these into the LOGIN command as they are.
    settings.Secret = "secret\r\na2 DELETE INBOX";
    EXPECT_NE(CheckImapSettings(settings, ParseImapServer("mail.example.net", settings.Security))
                  .find("line break"),
              std::string::npos);
}

TEST(ImapFolderTest, MakesTheServersNameOrRefuses)
{
    struct Case
    {
        const char* Setup;
        char Separator;
        const char* Server; ///< nullptr: refused
    };
    const Case cases[] = {
        {"INBOX", '/', "INBOX"},
        {"Turnpost/Processed", '/', "Turnpost/Processed"},
        {"Turnpost/Processed", '.', "Turnpost.Processed"},
        {"Turnpost Orders", '.', "Turnpost Orders"},
        {"Z\xc3\xbcge & Co", '/', "Z&APw-ge &- Co"}, // RFC 3501 5.1.3
        {"\xf0\x9f\x8e\xb2", '/', "&2Dzfsg-"},
        {"Turn.post", '.', nullptr},
        {"Turnpost/Processed", '\0', nullptr},
        {"", '/', nullptr},
        {"Turnpost//Processed", '/', nullptr},
        {"Turnpost/", '/', nullptr},
        {"../Mail", '/', nullptr},
        {"Orders*", '/', nullptr},
        {"Orders%", '/', nullptr},
        {"Or\"ders", '/', nullptr},
        {"Or\\ders", '/', nullptr},
        {"Or\rders", '/', nullptr},
        {"Or\x7f", '/', nullptr},
        {"Or\xc3", '/', nullptr},
        {"Turnpost/Processed", '"', nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Setup);
        const ImapFolder folder = MakeImapFolder(c.Setup, c.Separator);
        EXPECT_EQ(folder.Ok, c.Server != nullptr) << folder.Error;
        if (c.Server != nullptr)
            EXPECT_EQ(folder.Name, c.Server);
        else
            EXPECT_FALSE(folder.Error.empty());
    }
    EXPECT_EQ(MakeImapFolder("Orders*", '/').Error.find("'*'") != std::string::npos, true);
    EXPECT_EQ(FolderUrlPath("Turnpost.Processed"), "Turnpost%2EProcessed");
    EXPECT_EQ(FolderUrlPath("a b;UID=1"), "a%20b%3BUID%3D1");
}

TEST(ImapResponseTest, ReadsOnlyWhatItLooksFor)
{
    const std::string capabilities = "* OK [ALERT] hello\r\n* CAPABILITY IMAP4rev1 uidplus MOVE\r\n";
    EXPECT_EQ(ParseCapabilities(capabilities), (std::vector<std::string>{"IMAP4REV1", "UIDPLUS", "MOVE"}));

    EXPECT_EQ(ParseListSeparator("* LIST (\\Noselect) \".\" \"\"\r\n"), '.');
    EXPECT_EQ(ParseListSeparator("* LIST (\\Noselect) \"/\" \"\"\r\n"), '/');
    EXPECT_EQ(ParseListSeparator("* LIST (\\Noselect) \"\\\\\" \"\"\r\n"), '\\');
    EXPECT_EQ(ParseListSeparator("* LIST (\\Noselect) NIL \"\"\r\n"), '\0');
    EXPECT_EQ(ParseListSeparator("* LSUB () \".\" \"\"\r\n"), std::nullopt);
    EXPECT_EQ(ParseListSeparator("* LIST (\\Noselect\r\n"), std::nullopt);

    EXPECT_TRUE(ListNamesFolder("* LIST (\\HasNoChildren) \".\" Turnpost.Processed\r\n"));
    EXPECT_FALSE(ListNamesFolder("* LIST (\\NonExistent) \".\" Turnpost.Processed\r\n"));
    EXPECT_FALSE(ListNamesFolder("* 3 EXISTS\r\n"));

    EXPECT_EQ(ParseSearchUids("* 4 EXISTS\r\n* SEARCH 9 2 4294967295 2\r\n"),
              (std::vector<std::uint32_t>{2, 9, 4294967295u}));
    EXPECT_EQ(ParseSearchUids("* SEARCH\r\n"), std::vector<std::uint32_t>{});
    for (const char* bad :
         {"* SEARCH 0\r\n", "* SEARCH 4294967296\r\n", "* SEARCH 1 (2)\r\n", "* SEARCH -1\r\n"})
        EXPECT_EQ(ParseSearchUids(bad), std::nullopt) << bad;

    const std::string fetch = "* 1 FETCH (UID 7 FLAGS (\\Recent))\r\n* 2 FETCH (FLAGS (\\Seen $X) UID 8)\r\n";
    EXPECT_EQ(ParseSeenFlag(fetch, 7), false);
    EXPECT_EQ(ParseSeenFlag(fetch, 8), true);
    EXPECT_EQ(ParseSeenFlag(fetch, 9), std::nullopt);

    EXPECT_EQ(StatusText("A004 NO [TRYCREATE] Mailbox doesn't exist: X\r\n"),
              "[TRYCREATE] Mailbox doesn't exist: X");
    EXPECT_EQ(StatusText("A004 NO bell\x07 rings\r\n"), "bell rings");
    EXPECT_EQ(StatusText("A004 OK done\r\n"), "");
}

} // namespace
} // namespace turnpost

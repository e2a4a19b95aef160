#include "collect/ImapMailbox.h"

#include "support/ScriptedSmtpPeer.h"

#include <gtest/gtest.h>

namespace turnpost {
namespace {

using test::ScriptedSmtpPeer;

// A server of our own in plain text on loopback, for answers no real server gives. The tags are
// libcurl's: A001 upwards on the first connection of a handle.
ScriptedSmtpPeer& LoggedIn(ScriptedSmtpPeer& peer)
{
    return peer.Send("* OK ready\r\n")
        .On("A001 CAPABILITY", "* CAPABILITY IMAP4rev1 UIDPLUS\r\nA001 OK\r\n")
        .On("A002 LOGIN", "A002 OK logged in\r\n")
        .On("A003 LIST \"\" \"\"", "* LIST (\\Noselect) \"/\" \"\"\r\nA003 OK\r\n")
        .On("A004 SELECT INBOX", "* 1 EXISTS\r\nA004 OK [READ-WRITE]\r\n");
}

ImapSettings PlainSettings(const ScriptedSmtpPeer& peer)
{
    ImapSettings settings;
    settings.Server = peer.Address();
    settings.Security = ImapSecurity::None;
    settings.User = "host";
    settings.Secret = "secret";
    settings.TimeoutSeconds = 10;
    return settings;
}

TEST(ImapHostileServerTest, AMessageCutShortOrTooLargeIsAnErrorNotACrash)
{
    struct Case
    {
        const char* Name;
        std::size_t Limit;
        const char* Expected;
    };
    const Case cases[] = {
        {"claims a gigabyte, sends a little and goes", 32u << 20, "failed during the fetch of message 1"},
        {"sends more than the limit", 50, "larger than 50 bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        ScriptedSmtpPeer peer;
        LoggedIn(peer)
            .On("A005 UID FETCH 1 (FLAGS)", "* 1 FETCH (UID 1 FLAGS ())\r\nA005 OK\r\n")
            .On("A006 UID FETCH 1 BODY[]", "* 1 FETCH (UID 1 BODY[] {1000000000}\r\n" + std::string(200, 'x'))
            .Close();
        peer.Start();
        ImapSettings settings = PlainSettings(peer);
        settings.MaxMessageBytes = c.Limit;
        CImapMailbox mailbox(settings);
        const ImapMessage message = mailbox.Fetch("INBOX", 1);
        EXPECT_FALSE(message.Ok);
        EXPECT_NE(message.Error.find(c.Expected), std::string::npos) << message.Error;
        peer.Wait();
    }
}

TEST(ImapHostileServerTest, UidsAreReadAsNumbersOrRefused)
{
    ScriptedSmtpPeer peer;
    LoggedIn(peer).On("A005 UID SEARCH ALL", "* SEARCH 3 1 {5}\r\nA005 OK\r\n").Close();
    peer.Start();
    CImapMailbox mailbox(PlainSettings(peer));
    const ImapUids uids = mailbox.ListUids("INBOX");
    EXPECT_FALSE(uids.Ok);
    EXPECT_NE(uids.Error.find("not a UID"), std::string::npos) << uids.Error;
    peer.Wait();
    EXPECT_TRUE(peer.Mismatches().empty()) << peer.Mismatches()[0];
}

TEST(ImapHostileServerTest, MovingWithoutMoveOrUidPlusTouchesNothing)
{
    ScriptedSmtpPeer peer;
    peer.Send("* OK ready\r\n")
        .On("A001 CAPABILITY", "* CAPABILITY IMAP4rev1\r\nA001 OK\r\n")
        .On("A002 LOGIN", "A002 OK logged in\r\n")
        .On("A003 LIST \"\" \"\"", "* LIST (\\Noselect) \"/\" \"\"\r\nA003 OK\r\n")
        .On("A004 CAPABILITY", "* CAPABILITY IMAP4rev1\r\nA004 OK\r\n")
        .Close();
    peer.Start();
    CImapMailbox mailbox(PlainSettings(peer));
    const ImapResult moved = mailbox.Move("INBOX", 1, "Done");
    EXPECT_FALSE(moved.Ok);
    EXPECT_NE(moved.Error.find("neither MOVE nor UIDPLUS"), std::string::npos) << moved.Error;
    peer.Wait();
    EXPECT_TRUE(peer.Mismatches().empty());
    EXPECT_EQ(peer.Received().find("EXPUNGE"), std::string::npos);
    EXPECT_EQ(peer.Received().find("COPY"), std::string::npos);
}

} // namespace
} // namespace turnpost

#include "send/SendRun.h"

#include "support/PythonSmtpServer.h"
#include "support/RecordingUserInterface.h"
#include "support/SmtpSink.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace turnpost {
namespace {

using test::PythonSmtpServer;
using test::RecordingUserInterface;
using test::SmtpServerOptions;
using test::TempDir;

// The recorder keeps the message as Latin-1 text in JSON; this gives back its bytes.
std::string Latin1Bytes(const std::string& utf8)
{
    std::string bytes;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80 || i + 1 == utf8.size()) {
            bytes += static_cast<char>(c);
        } else {
            bytes += static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F));
            ++i;
        }
    }
    return bytes;
}

std::vector<std::string> HeaderLines(const std::string& message)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = message.find("\r\n", start)) != std::string::npos && end != start;
         start = end + 2)
        lines.push_back(message.substr(start, end - start));
    return lines;
}

struct Headers : ::testing::Test
{
    Headers()
    {
        auto& setup = document.Setup;
        setup.GameName = "Alpha";
        setup.ReturnAddress = "Galaxy Host, Esq. <host@example.org>";
        // ESC and NUL must not reach the header; the rest is long enough to be folded.
        setup.MessageSubject =
            std::string("Turn %Y\x1b[31m of %G") + '\0' +
            " for player %P, with a subject long enough to need folding onto a second line";
        setup.MessageText = "Your turn.\n";
        setup.SendPlayerFile = 1;
        setup.SmtpTimeout = 10000;
        const std::string longName = "spieler-zwei-\xc3\xbc"
                                     "berm\xc3\xa4\xc3\x9f"
                                     "ig-langer-dateiname-der-in-keine-zeile-passt.m2";
        setup.Players[0] = {1,
                            "one@b\xc3\xbc"
                            "cher.example",
                            dir.Write("alpha.m1", "turn one")};
        setup.Players[1] = {1, "two@example.org", dir.Write(longName, "turn two")};
        setup.Players[2] = {1, "dr\xc3\xa9i@example.org", dir.Write("alpha.m3", "turn three")};
        document.CommandLineRun = 1;
    }

    SendOutcome Run(const std::string& server)
    {
        document.Setup.SmtpServer = server;
        RecordingUserInterface ui(&document);
        ui.FillRows();
        return OnSend(document, ui);
    }

    TempDir dir;
    GameDocument document;
};

TEST_F(Headers, NameAddressIdnAndLongValuesStayWithinTheLimits)
{
    SmtpServerOptions options;
    options.SmtpUtf8 = true;
    PythonSmtpServer server(options);
    ASSERT_TRUE(server.IsRunning()) << server.Error();
    const SendOutcome outcome = Run(server.Address());
    EXPECT_EQ(outcome.Failed, 0) << outcome.Summary;

    const auto record = server.Record();
    ASSERT_EQ(record.Messages.size(), 3u);
    std::set<std::string> messageIds;
    std::vector<std::string> files;
    std::map<std::string, std::size_t> byRecipient;
    for (std::size_t m = 0; m < record.Messages.size(); ++m) {
        const auto& message = record.Messages[m];
        SCOPED_TRACE(message.To.front());
        EXPECT_EQ(message.From, "host@example.org");
        const std::string content = Latin1Bytes(message.Content);
        const auto lines = HeaderLines(content);
        std::size_t date = 0;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            EXPECT_LE(lines[i].size(), 78u) << lines[i];
            for (const char c : lines[i])
                EXPECT_TRUE(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) << lines[i];
            if (lines[i].rfind("Date: ", 0) == 0)
                date = i;
        }
        ASSERT_LT(date + 1, lines.size());
        EXPECT_EQ(lines[date + 1].rfind("Message-ID: <", 0), 0u) << "right after Date";
        EXPECT_NE(lines[date + 1].find("@example.org>"), std::string::npos) << lines[date + 1];
        messageIds.insert(lines[date + 1]);
        files.push_back(dir.Write("mail" + std::to_string(m) + ".eml", content));
        byRecipient[message.To.front()] = m;
    }
    EXPECT_EQ(messageIds.size(), 3u) << "every message has its own Message-ID";
    // The domain goes out in its IDNA form; a local part that is not ASCII goes with SMTPUTF8.
    ASSERT_EQ(byRecipient.count("one@xn--bcher-kva.example"), 1u);
    ASSERT_EQ(byRecipient.count("dr\xc3\xa9i@example.org"), 1u);
    bool utf8Mail = false;
    for (const auto& line : record.Lines)
        utf8Mail = utf8Mail || line.Text.rfind("MAIL FROM:<host@example.org> SMTPUTF8 SIZE=", 0) == 0;
    EXPECT_TRUE(utf8Mail);

    const auto parsed = test::ParseMails(files);
    const std::string subject = "Turn 0[31m of Alpha for player ";
    for (const auto& mail : parsed) {
        ASSERT_TRUE(mail.Ok) << mail.Error;
        EXPECT_EQ(mail.From, "\"Galaxy Host, Esq.\" <host@example.org>");
        EXPECT_EQ(mail.Subject.substr(0, subject.size()), subject) << mail.Subject;
        EXPECT_NE(mail.Subject.find(", with a subject long enough to need folding onto a second line"),
                  std::string::npos)
            << mail.Subject;
        EXPECT_TRUE(mail.Defects.empty()) << mail.Defects.front();
        ASSERT_EQ(mail.Attachments.size(), 1u);
    }
    EXPECT_EQ(parsed[byRecipient["two@example.org"]].Attachments[0].FileName,
              "spieler-zwei-\xc3\xbc"
              "berm\xc3\xa4\xc3\x9f"
              "ig-langer-dateiname-der-in-keine-zeile-passt.m2");
}

TEST_F(Headers, AddressNeedingSmtpUtf8IsRefusedWhereTheServerLacksIt)
{
    PythonSmtpServer server(SmtpServerOptions{});
    ASSERT_TRUE(server.IsRunning()) << server.Error();
    const SendOutcome outcome = Run(server.Address());
    EXPECT_EQ(outcome.Failed, 1);
    EXPECT_NE(outcome.Summary.find("[Player 3] ** ERROR: not sent: the address dr\xc3\xa9i@example.org needs "
                                   "SMTPUTF8, which the server does not offer\n"),
              std::string::npos)
        << outcome.Summary;
    EXPECT_EQ(server.Record().Messages.size(), 2u);
}

} // namespace
} // namespace turnpost

// Delivers messages with the SMTP connection, one connection per message, and prints the time per
// message and the peak memory, for the bench script to compare with Postfix's smtp-source.
//   tp_deliver SERVER COUNT FILE...   (each message carries every FILE as an attachment)
#include "mail/MailAttachment.h"
#include "mail/MailMessage.h"
#include "mail/SMTPConnection.h"
#include "mail/ServerText.h"
#include "platform/ErrorCode.h"
#include "platform/LastError.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sys/resource.h>
#include <vector>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: tp_deliver SERVER COUNT [FILE...]\n");
        return 2;
    }
    const std::string server = argv[1];
    const int count = std::atoi(argv[2]);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
        // As in a send run: the attachments are opened for each message and read while it is sent.
        std::vector<std::unique_ptr<turnpost::CMailAttachment>> attachments;
        turnpost::CMailMessage message;
        message.From = turnpost::CMailAddress("host@example.org");
        message.AddRecipient(turnpost::CMailAddress("player@example.org"));
        message.Subject = "Bench " + std::to_string(i);
        message.SetBody("Turn attached.\n");
        for (int a = 3; a < argc; ++a) {
            attachments.push_back(std::make_unique<turnpost::CMailAttachment>());
            if (!attachments.back()->Open(argv[a])) {
                std::fprintf(stderr, "cannot read %s\n", argv[a]);
                return 1;
            }
            message.AddAttachment(*attachments.back());
        }
        turnpost::CSMTPConnection connection;
        connection.SetTimeout(15000);
        if (!connection.Connect(server)) {
            std::fprintf(stderr, "connect: %u (%s)\n", turnpost::GetLastError(),
                         turnpost::ErrorReason(turnpost::GetLastError()).c_str());
            return 1;
        }
        if (!connection.SendMessage(message) || !connection.Disconnect()) {
            const turnpost::SmtpError& error = connection.GetError();
            std::fprintf(stderr, "send: %u (%s) %s\n", error.Number,
                         turnpost::ErrorReason(error.Number).c_str(),
                         turnpost::PrintableReply(error.Reply).c_str());
            return 1;
        }
    }
    const std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("messages %d\nms_per_message %.3f\npeak_rss_kib %ld\n", count,
                count ? spent.count() / count : 0.0, usage.ru_maxrss);
    return 0;
}

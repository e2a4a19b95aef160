// Composes a message from arbitrary subject, body, addresses and attachment name, and checks what the
// wire relies on: no raw control byte and no header line the program did not write in the header
// blocks, no line that ends the data early, and CR LF as the only line end.
#include "mail/MailAttachment.h"
#include "mail/MailMessage.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

using namespace turnpost;

namespace {

// The fields are separated by NUL bytes in the input: subject, body, from, to, attachment name.
std::vector<std::string> Fields(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> fields(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0 && fields.size() < 5)
            fields.emplace_back();
        else
            fields.back() += static_cast<char>(data[i]);
    }
    fields.resize(5);
    return fields;
}

bool Written(const std::string& line)
{
    static const char* const Names[] = {"From: ",
                                        "To: ",
                                        "Subject: ",
                                        "Date: ",
                                        "Message-ID: ",
                                        "X-Mailer: ",
                                        "MIME-Version: ",
                                        "Content-type: ",
                                        "Content-Type: ",
                                        "Content-Transfer-Encoding: ",
                                        "Content-Disposition: "};
    if (!line.empty() && (line[0] == ' ' || line[0] == '\t'))
        return true; // a folded line
    for (const char* name : Names)
        if (line.rfind(name, 0) == 0)
            return true;
    return false;
}

// Every line of a header block (up to its empty line) must be one of ours, printable, CR LF ended.
void CheckHeaderBlock(const std::string& block)
{
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = block.find("\r\n", start);
        if (end == std::string::npos)
            std::abort();
        const std::string line = block.substr(start, end - start);
        if (line.empty())
            return;
        for (const char c : line)
            if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F)
                std::abort();
        if (!Written(line))
            std::abort();
        start = end + 2;
    }
}

void CheckData(const std::string& data)
{
    for (std::size_t i = 0; i < data.size(); ++i) {
        const bool cr = data[i] == '\r';
        const bool lf = data[i] == '\n';
        if ((cr && (i + 1 == data.size() || data[i + 1] != '\n')) || (lf && (i == 0 || data[i - 1] != '\r')))
            std::abort(); // a bare CR or LF
        if (data[i] == '\0')
            std::abort();
    }
    // Only the very end may hold the end-of-data line.
    const std::size_t end = data.find("\r\n.\r\n");
    if (end != data.size() - 5)
        std::abort();
    if (data.rfind(".\r\n", 0) == 0)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::string> fields = Fields(data, size);
    CMailMessage message;
    message.Subject = fields[0];
    message.SetBody(fields[1]);
    message.From = CMailAddress::FromMailbox(fields[2]);
    message.AddRecipient(CMailAddress(fields[3]));

    // The attachment's name comes from a file of that name.
    static const std::string folder = [] {
        char pattern[] = "/tmp/fuzz-mail-XXXXXX";
        return std::string(::mkdtemp(pattern));
    }();
    std::string name = fields[4];
    for (char& c : name)
        if (c == '/')
            c = '_';
    if (name.empty() || name == "." || name == ".." || name.size() > 200)
        name = "game.m1";
    const std::string path = folder + "/" + name;
    std::ofstream(path) << "turn";
    CMailAttachment attachment;
    const bool loaded = attachment.Load(path);
    ::unlink(path.c_str());
    if (loaded)
        message.AddAttachment(attachment);

    // The message as the connection writes it, so the check sees what a server would.
    std::string wire;
    message.WriteContent([&](std::string_view piece) {
        wire += piece;
        return true;
    });
    CheckHeaderBlock(wire);
    for (const CMailAttachment* a : message.GetAttachments()) {
        const std::string part = CMailMessage::GetAttachmentPartHeader(*a);
        // The part header opens with the delimiter line; its fields follow.
        const std::size_t fieldsStart = part.find("--#BOUNDARY#\r\n");
        if (fieldsStart == std::string::npos || wire.find(part) == std::string::npos)
            std::abort();
        CheckHeaderBlock(part.substr(fieldsStart + 14));
    }
    wire += CMailMessage::EndOfData;
    CheckData(wire);
    return 0;
}

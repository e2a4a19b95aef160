#include "collect/OrderExtractor.h"

#include <gmime/gmime.h>
#include <memory>
#include <mutex>

namespace turnpost {

namespace {

void StartGMime()
{
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

struct Unref
{
    void operator()(void* object) const
    {
        if (object != nullptr)
            g_object_unref(object);
    }
};
template <typename T> using Owned = std::unique_ptr<T, Unref>;

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

bool WordAt(std::string_view text, std::size_t at, std::string_view word)
{
    if (text.size() - at < word.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (Lower(text[at + i]) != word[i])
            return false;
    return true;
}

// A count, before parsing, of what could open a multipart or a message: GMime descends into each
// by recursion, so a message made of little else must be refused before it reaches the parser.
int ContainerCount(std::string_view text, int stopAt)
{
    int count = 0;
    for (std::size_t at = 0; at < text.size() && count <= stopAt; ++at) {
        const char c = Lower(text[at]);
        if (c == 'm' && WordAt(text, at, "multipart"))
            ++count;
        else if (c == 'm' && WordAt(text, at, "message")) {
            std::size_t next = at + 7;
            while (next < text.size() &&
                   (text[next] == ' ' || text[next] == '\t' || text[next] == '\r' || text[next] == '\n'))
                ++next;
            if (next < text.size() && text[next] == '/')
                ++count;
        }
    }
    return count;
}

std::string Decoded(GMimePart* part)
{
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    if (content == nullptr)
        return {};
    const Owned<GMimeStream> out(g_mime_stream_mem_new());
    if (g_mime_data_wrapper_write_to_stream(content, out.get()) < 0)
        return {};
    const GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out.get()));
    return std::string(reinterpret_cast<const char*>(bytes->data), bytes->len);
}

class CWalker
{
public:
    CWalker(const COrderExtractor& limits, ExtractedMessage& out) : m_Limits(limits), m_Out(out) {}

    // False when the message is refused; m_Out.Error says why.
    bool Walk(GMimeObject* object, int depth)
    {
        if (object == nullptr)
            return true;
        if (GMIME_IS_MESSAGE_PART(object)) {
            if (depth >= m_Limits.MaxForwardDepth) {
                m_Out.Error = "the message forwards messages more than " +
                              std::to_string(m_Limits.MaxForwardDepth) + " levels deep";
                return false;
            }
            GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
            return inner == nullptr || Walk(g_mime_message_get_mime_part(inner), depth + 1);
        }
        if (GMIME_IS_MULTIPART(object)) {
            GMimeMultipart* multipart = GMIME_MULTIPART(object);
            const int count = g_mime_multipart_get_count(multipart);
            // Its boundary never came: whatever it was to carry is in a preamble nobody reads.
            if (count == 0)
                m_Out.Notes.push_back("a multipart holds no parts; its boundary never appears");
            for (int i = 0; i < count; ++i)
                if (!Walk(g_mime_multipart_get_part(multipart, i), depth))
                    return false;
            return true;
        }
        if (!GMIME_IS_PART(object))
            return true;
        GMimePart* part = GMIME_PART(object);
        const char* name = g_mime_part_get_filename(part);
        if (name != nullptr && *name != '\0') {
            m_Out.Files.push_back({name, Decoded(part)});
            return true;
        }
        GMimeContentType* type = g_mime_object_get_content_type(object);
        if (type != nullptr && g_mime_content_type_is_type(type, "text", "*")) {
            UuScan scan = FindUuencodedFiles(Decoded(part));
            for (MessageFile& file : scan.Files)
                m_Out.Files.push_back(std::move(file));
            for (std::string& note : scan.Notes)
                m_Out.Notes.push_back(std::move(note));
        }
        return true;
    }

private:
    const COrderExtractor& m_Limits;
    ExtractedMessage& m_Out;
};

std::string FirstMailbox(InternetAddressList* list)
{
    if (list == nullptr)
        return {};
    const int count = internet_address_list_length(list);
    for (int i = 0; i < count; ++i) {
        InternetAddress* address = internet_address_list_get_address(list, i);
        if (INTERNET_ADDRESS_IS_MAILBOX(address)) {
            const char* text = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address));
            return text != nullptr ? text : "";
        }
    }
    return {};
}

} // namespace

ExtractedMessage COrderExtractor::Extract(std::string_view message) const
{
    ExtractedMessage out;
    if (message.size() > MaxMessageBytes) {
        out.Error = "the message is larger than " + std::to_string(MaxMessageBytes) + " bytes";
        return out;
    }
    if (ContainerCount(message, MaxContainers) > MaxContainers) {
        out.Error = "the message holds more than " + std::to_string(MaxContainers) + " parts within parts";
        return out;
    }
    StartGMime();
    const Owned<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(message.data(), message.size()));
    const Owned<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    const Owned<GMimeMessage> parsed(g_mime_parser_construct_message(parser.get(), nullptr));
    if (!parsed) {
        out.Error = "the message could not be read as a mail message";
        return out;
    }
    if (const char* id = g_mime_message_get_message_id(parsed.get()))
        out.MessageId = id;
    out.From = FirstMailbox(g_mime_message_get_from(parsed.get()));
    if (const char* subject = g_mime_message_get_subject(parsed.get()))
        out.Subject = subject;
    CWalker walker(*this, out);
    if (!walker.Walk(g_mime_message_get_mime_part(parsed.get()), 0)) {
        out.Files.clear();
        return out;
    }
    out.Ok = true;
    return out;
}

} // namespace turnpost

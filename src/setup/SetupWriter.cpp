#include "setup/SetupWriter.h"

#include "platform/Text.h"
#include "setup/TextEncoding.h"

namespace turnpost {

void CSetupWriter::WriteUnsigned(std::uint32_t value, int size)
{
    for (int k = 0; k < size; ++k)
        m_Bytes += static_cast<char>((value >> (8 * k)) & 0xFF);
}

void CSetupWriter::WriteInteger(std::int32_t value)
{
    WriteUnsigned(static_cast<std::uint32_t>(value), 4);
}

void CSetupWriter::WriteLength(std::size_t length)
{
    if (length < 0xFF) {
        WriteUnsigned(static_cast<std::uint32_t>(length), 1);
    } else if (length < 0xFFFE) {
        m_Bytes += '\xFF';
        WriteUnsigned(static_cast<std::uint32_t>(length), 2);
    } else {
        m_Bytes.append(3, '\xFF');
        WriteUnsigned(static_cast<std::uint32_t>(length), 4);
    }
}

void CSetupWriter::WriteString(std::string_view text)
{
    if (IsAscii(text)) {
        WriteLength(text.size());
        m_Bytes += text;
        return;
    }
    const std::string wide = Utf8ToUtf16Le(text);
    m_Bytes += "\xFF\xFE\xFF";
    WriteLength(wide.size() / 2);
    m_Bytes += wide;
}

} // namespace turnpost

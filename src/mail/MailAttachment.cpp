#include "mail/MailAttachment.h"

#include "platform/Files.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TURNPOST_BASE64_SSSE3 1
#endif

namespace turnpost {

namespace {

constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Two base64 characters for every 12-bit value: one look-up per half group.
struct PairTable
{
    std::array<char, 2 * 4096> Chars{};
    constexpr PairTable()
    {
        for (int v = 0; v < 4096; ++v) {
            Chars[2 * v] = Alphabet[v >> 6];
            Chars[2 * v + 1] = Alphabet[v & 63];
        }
    }
};
constexpr PairTable Pairs;

constexpr std::size_t LineInput = 57;  // 19 groups of three bytes
constexpr std::size_t LineOutput = 78; // 76 characters and CR LF

inline void EncodeGroup(const unsigned char* in, char* out)
{
    const unsigned v = (unsigned(in[0]) << 16) | (unsigned(in[1]) << 8) | in[2];
    std::memcpy(out, &Pairs.Chars[2 * (v >> 12)], 2);
    std::memcpy(out + 2, &Pairs.Chars[2 * (v & 0xFFF)], 2);
}

std::size_t EncodeLinesScalar(const unsigned char* input, std::size_t lines, char* output)
{
    for (std::size_t line = 0; line < lines; ++line) {
        for (std::size_t g = 0; g < 19; ++g)
            EncodeGroup(input + 3 * g, output + 4 * g);
        output[76] = '\r';
        output[77] = '\n';
        input += LineInput;
        output += LineOutput;
    }
    return lines * LineOutput;
}

#ifdef TURNPOST_BASE64_SSSE3
// Twelve bytes to sixteen characters in a few vector steps (W. Mula and D. Lemire, "Faster Base64
// Encoding and Decoding Using AVX2 Instructions", 2018). Each load reads 16 bytes, so four blocks
// cover bytes 0 to 51 of a 57-byte line and never read past it; its last nine bytes go the scalar way.
__attribute__((target("ssse3"))) inline __m128i EncodeBlock(const unsigned char* input)
{
    __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(input));
    in = _mm_shuffle_epi8(in, _mm_set_epi8(10, 11, 9, 10, 7, 8, 6, 7, 4, 5, 3, 4, 1, 2, 0, 1));
    const __m128i t0 = _mm_and_si128(in, _mm_set1_epi32(0x0fc0fc00));
    const __m128i t1 = _mm_mulhi_epu16(t0, _mm_set1_epi32(0x04000040));
    const __m128i t2 = _mm_and_si128(in, _mm_set1_epi32(0x003f03f0));
    const __m128i t3 = _mm_mullo_epi16(t2, _mm_set1_epi32(0x01000010));
    const __m128i indices = _mm_or_si128(t1, t3);
    // Map the six-bit values to the alphabet by adding an offset chosen per range.
    __m128i range = _mm_subs_epu8(indices, _mm_set1_epi8(51));
    const __m128i letters = _mm_cmpgt_epi8(_mm_set1_epi8(26), indices);
    range = _mm_or_si128(range, _mm_and_si128(letters, _mm_set1_epi8(13)));
    const __m128i offsets =
        _mm_setr_epi8('a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
                      '0' - 52, '0' - 52, '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0);
    return _mm_add_epi8(_mm_shuffle_epi8(offsets, range), indices);
}

__attribute__((target("ssse3"))) std::size_t EncodeLinesSsse3(const unsigned char* input, std::size_t lines,
                                                              char* output)
{
    for (std::size_t line = 0; line < lines; ++line) {
        for (std::size_t b = 0; b < 4; ++b)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(output + 16 * b), EncodeBlock(input + 12 * b));
        EncodeGroup(input + 48, output + 64);
        EncodeGroup(input + 51, output + 68);
        EncodeGroup(input + 54, output + 72);
        output[76] = '\r';
        output[77] = '\n';
        input += LineInput;
        output += LineOutput;
    }
    return lines * LineOutput;
}

const bool HasSsse3 = __builtin_cpu_supports("ssse3");
#endif

} // namespace

std::size_t EncodeBase64Lines(const unsigned char* input, std::size_t n, char* output)
{
    const std::size_t lines = n / LineInput;
#ifdef TURNPOST_BASE64_SSSE3
    if (HasSsse3)
        return EncodeLinesSsse3(input, lines, output);
#endif
    return EncodeLinesScalar(input, lines, output);
}

std::int64_t Base64BufferSize(std::int64_t n)
{
    if (n < 0)
        return 3;
    const std::int64_t c = 4 * ((n + 2) / 3);
    return c + (2 * c) / 76 + 3;
}

bool EncodeBase64(const unsigned char* input, std::size_t n, char* output, std::size_t /*outputSize*/,
                  std::size_t* outputLength)
{
    // Whole lines of 19 groups; the line break follows the group that brings a line to 73 characters
    // or more, which is always the nineteenth.
    std::size_t written = EncodeBase64Lines(input, n, output);
    const std::size_t done = n - n % LineInput;
    input += done;
    const std::size_t rest = n - done;
    char* out = output + written;
    const std::size_t groups = rest / 3;
    for (std::size_t g = 0; g < groups; ++g, input += 3, out += 4)
        EncodeGroup(input, out);
    switch (rest % 3) {
    case 1:
        out[0] = Alphabet[input[0] >> 2];
        out[1] = Alphabet[(input[0] & 0x03) << 4];
        out[2] = '=';
        out[3] = '=';
        out += 4;
        break;
    case 2:
        out[0] = Alphabet[input[0] >> 2];
        out[1] = Alphabet[((input[0] & 0x03) << 4) | (input[1] >> 4)];
        out[2] = Alphabet[(input[1] & 0x0F) << 2];
        out[3] = '=';
        out += 4;
        break;
    default:
        break;
    }
    // The closing line break is always written, even straight after a full line.
    *out++ = '\r';
    *out++ = '\n';
    written = static_cast<std::size_t>(out - output);
    *out = '\0';
    if (outputLength)
        *outputLength = written;
    return true;
}

bool CMailAttachment::Load(const std::string& path)
{
    m_Name.clear();
    m_EncodedText.clear();
    m_EncodedText.shrink_to_fit();

    m_Error.clear();
    const ReadableFile file = OpenRegularFile(path);
    if (!file) {
        m_Error = CouldNotOpenMessage(path, file.Error);
        return false;
    }
    const int fd = file.Fd;
    const std::uint64_t size = file.Size;
    if (size > MaxAttachmentSize) {
        m_Error =
            "File too large to mail (over " + std::to_string(MaxAttachmentSize >> 20) + " MiB): " + path;
        return false;
    }

    // The file is read and encoded in slices of whole lines, so that only the encoded text needs to
    // be held in full, not the file beside it.
    std::string encoded;
    encoded.resize(static_cast<std::size_t>(Base64BufferSize(static_cast<std::int64_t>(size)) - 1));
    constexpr std::size_t SliceLines = 16 * 1024;
    const std::size_t sliceSize = SliceLines * LineInput;
    std::unique_ptr<unsigned char[]> slice(new unsigned char[sliceSize]);
    std::uint64_t remaining = size;
    std::size_t written = 0;
    bool ok = true;
    do {
        const std::size_t want = remaining < sliceSize ? static_cast<std::size_t>(remaining) : sliceSize;
        std::size_t got = 0;
        while (got < want) {
            const ssize_t n = ::read(fd, slice.get() + got, want - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                ok = false; // failed, or the file ended before its reported size
                break;
            }
            got += static_cast<std::size_t>(n);
        }
        if (!ok)
            break;
        remaining -= want;
        if (remaining > 0) {
            written += EncodeBase64Lines(slice.get(), want, encoded.data() + written);
        } else {
            std::size_t last = 0;
            EncodeBase64(slice.get(), want, encoded.data() + written, encoded.size() + 1 - written, &last);
            written += last;
        }
    } while (remaining > 0);
    if (!ok) {
        m_Error = CouldNotOpenMessage(path, EIO);
        return false;
    }

    encoded.resize(written);
    m_EncodedText = std::move(encoded);
    const auto slash = path.find_last_of('/');
    m_Name = slash == std::string::npos ? path : path.substr(slash + 1);
    return true;
}

} // namespace turnpost

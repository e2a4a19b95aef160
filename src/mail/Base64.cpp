#include "mail/Base64.h"

#include <array>
#include <cstring>

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

constexpr std::size_t LineOutput = 78; // 76 characters and CR LF

inline void EncodeGroup(const unsigned char* in, char* out)
{
    const unsigned v = (unsigned(in[0]) << 16) | (unsigned(in[1]) << 8) | in[2];
    std::memcpy(out, &Pairs.Chars[2 * (v >> 12)], 2);
    std::memcpy(out + 2, &Pairs.Chars[2 * (v & 0xFFF)], 2);
}

// Groups of three, then the last one or two bytes padded with "=", with no line break; returns the end.
char* EncodeRun(const unsigned char* input, std::size_t n, char* out)
{
    for (; n >= 3; n -= 3, input += 3, out += 4)
        EncodeGroup(input, out);
    if (n > 0) {
        const unsigned v = (unsigned(input[0]) << 16) | (n == 2 ? unsigned(input[1]) << 8 : 0u);
        out[0] = Alphabet[v >> 18];
        out[1] = Alphabet[(v >> 12) & 63];
        out[2] = n == 2 ? Alphabet[(v >> 6) & 63] : '=';
        out[3] = '=';
        out += 4;
    }
    return out;
}

std::size_t EncodeLinesScalar(const unsigned char* input, std::size_t lines, char* output)
{
    for (std::size_t line = 0; line < lines; ++line) {
        for (std::size_t g = 0; g < 19; ++g)
            EncodeGroup(input + 3 * g, output + 4 * g);
        output[76] = '\r';
        output[77] = '\n';
        input += Base64LineInput;
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
        input += Base64LineInput;
        output += LineOutput;
    }
    return lines * LineOutput;
}

const bool HasSsse3 = __builtin_cpu_supports("ssse3");
#endif

} // namespace

std::size_t EncodeBase64Lines(const unsigned char* input, std::size_t n, char* output)
{
    const std::size_t lines = n / Base64LineInput;
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

bool EncodeBase64(const unsigned char* input, std::size_t n, char* output, std::size_t outputSize,
                  std::size_t* outputLength)
{
    if (outputSize < static_cast<std::size_t>(Base64BufferSize(static_cast<std::int64_t>(n)))) {
        if (outputLength)
            *outputLength = 0;
        return false;
    }
    // Whole lines of 19 groups; the line break follows the group that brings a line to 73 characters
    // or more, which is always the nineteenth.
    const std::size_t done = n - n % Base64LineInput;
    const std::size_t written = EncodeBase64Lines(input, n, output);
    char* out = EncodeRun(input + done, n - done, output + written);
    // The closing line break is always written, even straight after a full line.
    *out++ = '\r';
    *out++ = '\n';
    *out = '\0';
    if (outputLength)
        *outputLength = static_cast<std::size_t>(out - output);
    return true;
}

std::string EncodeBase64Line(std::string_view bytes)
{
    std::string out((bytes.size() + 2) / 3 * 4, '\0');
    EncodeRun(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), out.data());
    return out;
}

} // namespace turnpost

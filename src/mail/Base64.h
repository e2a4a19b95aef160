#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace turnpost {

// Base64 with the alphabet of RFC 2045 in the two layouts mail needs: attachments in lines of 76
// characters ended by CR LF, and one unbroken line for SASL responses and encoded header words.

/// Input bytes per full line of 76 characters (19 groups of three).
inline constexpr std::size_t Base64LineInput = 57;

/// Bytes the encoded form of n input bytes needs, line breaks and terminating zero included.
std::int64_t Base64BufferSize(std::int64_t n);

/// Encodes n bytes into output as lines of 76 characters, each ended by CR LF, with one more CR LF at
/// the end and a terminating zero; stores the characters written (without the zero) in outputLength.
/// False, with nothing written, when outputSize is less than Base64BufferSize(n).
bool EncodeBase64(const unsigned char* input, std::size_t n, char* output, std::size_t outputSize,
                  std::size_t* outputLength);

/// Encodes the whole 57-byte lines of input as 76 characters and CR LF each, for encoding a stream
/// in slices; a rest of fewer than 57 bytes is left alone. Returns the characters written.
std::size_t EncodeBase64Lines(const unsigned char* input, std::size_t n, char* output);

/// Base64 in one unbroken line: a line break would end a SASL response early (RFC 4954 4) and has no
/// place inside an encoded word (RFC 2047 2).
std::string EncodeBase64Line(std::string_view bytes);

} // namespace turnpost

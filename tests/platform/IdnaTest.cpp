#include "platform/Idna.h"
#include "platform/Punycode.h"

#include <gtest/gtest.h>

namespace turnpost {
namespace {

// Every system gives the same answers: IDNA2008 with the nontransitional mapping and the host-name
// rules, so "ß" stays in its label where IDNA2003 would make "strasse" of it.
TEST(IdnaTest, DomainsConvertToTheSameAsciiFormEverywhere)
{
    const struct
    {
        const char* Domain;
        const char* Ascii; // null: refused
    } cases[] = {
        {"example.org", "example.org"},
        {"b\xc3\xbc"
         "cher.example",
         "xn--bcher-kva.example"},
        {"B\xc3\x9c"
         "cher.Example",
         "xn--bcher-kva.example"},
        // Decomposed and full-width forms map to the same label.
        {"bu\xcc\x88"
         "cher.example",
         "xn--bcher-kva.example"},
        {"\xef\xbd\x82\xc3\xbc\xef\xbd\x83\xef\xbd\x88\xef\xbd\x85\xef\xbd\x92.example",
         "xn--bcher-kva.example"},
        {"stra\xc3\x9f"
         "e.de",
         "xn--strae-oqa.de"},
        {"STRA\xc3\x9f"
         "E.de",
         "xn--strae-oqa.de"},
        {"\xce\xb1\xcf\x83\xcf\x82.gr", "xn--mxa8ac.gr"},
        // ZWNJ after a virama stays; elsewhere it is refused.
        {"\xe0\xa4\x95\xe0\xa5\x8d\xe2\x80\x8c\xe0\xa4\xb7.in", "xn--11b2ezcs70k.in"},
        {"a\xe2\x80\x8c\xc3\xbc.example", nullptr},
        {"b\xc3\xbc_cher.example", nullptr},
        {"b\xc3\xbc-.example", nullptr},
        {"b\xc3\xbc.ex_ample", nullptr},
        {"\xe2\x98\x83.example", nullptr},
        {"\xf0\x9f\x92\xa9.example", nullptr},
        {"\xcc\x88"
         "b.example",
         nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Domain);
        std::string ascii;
        std::string error;
        const bool converted = DomainToAscii(c.Domain, ascii, error);
        EXPECT_EQ(converted, c.Ascii != nullptr) << ascii;
        if (c.Ascii)
            EXPECT_EQ(ascii, c.Ascii);
        else
            EXPECT_FALSE(error.empty());
    }
}

TEST(IdnaTest, ALabelsMustDecodeAndEncodeBack)
{
    const struct
    {
        const char* Label;
        bool Valid;
    } cases[] = {
        {"xn--bcher-kva", true},   {"XN--BCHER-KVA", true}, {"xn--strae-oqa", true}, {"xn--mxa8ac", true},
        {"xn--", false},           {"xn--zz", false},       {"xn--a", false},        {"xn--ls8h", false},
        {"xn--bcher-kva-", false}, {"xn--strasse-", false}, {"xn--Bcher-kva", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Label);
        std::string error;
        EXPECT_EQ(IsValidALabel(c.Label, error), c.Valid);
        EXPECT_EQ(error.empty(), c.Valid) << error;
    }
}

// The examples of RFC 3492 7.1 (lower-cased) and its limits.
TEST(IdnaTest, PunycodeRoundTrips)
{
    const struct
    {
        const char* Label;
        const char* Encoded;
    } cases[] = {
        {"b\xc3\xbc"
         "cher",
         "bcher-kva"},
        {"\xe4\xbb\x96\xe4\xbb\xac\xe4\xb8\xba\xe4\xbb\x80\xe4\xb9\x88\xe4\xb8\x8d\xe8\xaf\xb4\xe4\xb8\xad"
         "\xe6\x96\x87",
         "ihqwcrb4cv8a8dqg056pqjye"},
        {"3\xe5\xb9\xb4"
         "b\xe7\xb5\x84\xe9\x87\x91\xe5\x85\xab\xe5\x85\x88\xe7\x94\x9f",
         "3b-ww4c5e180e575a65lsy2b"},
        {"\xf0\x9f\x92\xa9", "ls8h"},
        {"abc", "abc-"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Encoded);
        std::string encoded, decoded;
        ASSERT_TRUE(PunycodeEncode(c.Label, encoded));
        EXPECT_EQ(encoded, c.Encoded);
        ASSERT_TRUE(PunycodeDecode(c.Encoded, decoded));
        EXPECT_EQ(decoded, c.Label);
    }
    std::string out;
    for (const char* broken : {"-", "zzzzzzzzzzzzzzz9", "bcher-kv!", "\xc3\xbc-a"})
        EXPECT_FALSE(PunycodeDecode(broken, out)) << broken;
    // Not UTF-8: a lone continuation byte, an overlong form, a surrogate.
    for (const char* broken : {"\x80", "\xc0\xaf", "\xed\xa0\x80"})
        EXPECT_FALSE(PunycodeEncode(broken, out));
}

} // namespace
} // namespace turnpost

// Text strings: PDFDocEncoding and UTF-16BE in, UTF-8 in the model, and
// back; string tokens of both kinds.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "PdfText.h"

namespace {

struct TTextCase {
    const char* what;
    std::string utf8;
    std::string bytes;  // how the text is written
};

// The characters where PDFDocEncoding and Latin-1 part ways, and texts that
// need UTF-16.
const TTextCase kTextCases[] = {
    {"ascii", "Bericht 2024", "Bericht 2024"},
    {"latin-1", "Grüße, Ærø", "Gr\xFC\xDF" "e, \xC6r\xF8"},
    {"en dash", "a – b", "a \x85 b"},
    {"euro", "5 €", "5 \xA0"},
    {"quotes and bullet", "„x“ • ‰ ™", "\x8Cx\x8D \x80 \x8B \x92"},
    {"ligature and OE", "ﬁ Œ ž", "\x93 \x96 \x9E"},
    {"breve at 0x18", "˘", "\x18"},
    {"tab and newline", "a\tb\nc", "a\tb\nc"},
    {"greek", "Ωmega", std::string("\xFE\xFF\x03\xA9\x00m\x00" "e\x00g\x00" "a", 12)},
    {"en dash, euro and greek", "–€α", std::string("\xFE\xFF\x20\x13\x20\xAC\x03\xB1", 8)},
    {"outside the BMP", "𝄞", std::string("\xFE\xFF\xD8\x34\xDD\x1E", 6)},
    {"windows-1252 only", "\xC2\x81", std::string("\xFE\xFF\x00\x81", 4)},  // U+0081: no PDFDoc code
};

class TextStrings : public ::testing::TestWithParam<TTextCase> {};

TEST_P(TextStrings, WriteAndReadBack) {
    const TTextCase& c = GetParam();
    EXPECT_EQ(Utf8ToTextString(c.utf8), c.bytes);
    EXPECT_EQ(TextStringToUtf8(c.bytes), c.utf8);
}

INSTANTIATE_TEST_SUITE_P(Cases, TextStrings, ::testing::ValuesIn(kTextCases),
                         [](const ::testing::TestParamInfo<TTextCase>& param) {
                             std::string name;
                             for (const char ch : std::string(param.param.what))
                                 name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             return name;
                         });

TEST(TextStringsRead, WhatProducersWriteBesidesOurOwnForms) {
    struct TCase {
        const char* what;
        std::string bytes;
        std::string utf8;
    };
    const TCase cases[] = {
        {"UTF-8 with its mark", "\xEF\xBB\xBFGr\xC3\xBC\xC3\x9F" "e", "Grüße"},
        {"UTF-16 of odd length", std::string("\xFE\xFF\x00" "A\x00", 5), "A"},
        {"lone high surrogate", std::string("\xFE\xFF\xD8\x00\x00" "A", 6), "\xEF\xBF\xBD" "A"},
        {"undefined PDFDoc code", "a\x7F" "b", "a\xEF\xBF\xBD" "b"},
        {"only the mark", "\xFE\xFF", ""},
        {"empty", "", ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(TextStringToUtf8(c.bytes), c.utf8);
    }
}

TEST(TextStringsRead, StringTokensOfBothKinds) {
    struct TCase {
        const char* token;
        std::string bytes;
    };
    const TCase cases[] = {
        {"(a\\(b\\)c)", "a(b)c"},
        {"(\\374ber)", "\xFC" "ber"},
        {"()", ""},
        {"<FEFF03A9>", "\xFE\xFF\x03\xA9"},
        {"<fe ff 00\n41>", std::string("\xFE\xFF\x00" "A", 4)},
        {"<414>", "A@"},  // a missing last digit counts as 0
        {"<>", ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.token);
        EXPECT_EQ(StringTokenBytes(c.token), c.bytes);
    }
}

}  // namespace

// Inline images: where their data end, and that the text behind them is read.
#include <gtest/gtest.h>

#include "InlineImage_p.h"
#include "InterpreterFixture.h"

namespace {

// The end InlineImageEnd finds in `content`, as the text that follows it;
// the image's "BI" is the first in the content.
std::string RestAfterImage(const std::string& content) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(content.data());
    const auto length = static_cast<int32_t>(content.size());
    const size_t bi = content.find("BI");
    const int32_t end = InlineImageEnd(bytes, length, static_cast<int32_t>(bi + 2));
    EXPECT_GE(end, 0);
    EXPECT_LE(end, length);
    return content.substr(static_cast<size_t>(end));
}

std::string Bytes(std::initializer_list<int> values) {
    std::string text;
    for (int value : values) text += static_cast<char>(value);
    return text;
}

}  // namespace

TEST(InlineImageEnd, UnfilteredDataAreAsLongAsTheDictionarySays) {
    struct TCase {
        const char* name;
        std::string content;
    };
    // Each image's data hold "EI" surrounded by blanks, and a "(" that the
    // lexer would read as the start of a string.
    const std::string tricky = Bytes({' ', 'E', 'I', ' ', '(', 0xFF});
    const TCase cases[] = {
        {"gray, abbreviations", "BI /W 6 /H 1 /BPC 8 /CS /G ID " + tricky + "\nEI Q"},
        {"gray, full names", "BI /Width 3 /Height 2 /BitsPerComponent 8 /ColorSpace /DeviceGray ID " + tricky + " EI Q"},
        {"rgb", "BI /W 2 /H 1 /BPC 8 /CS /RGB ID " + tricky + "EI Q"},
        {"cmyk, 4 bits", "BI /W 3 /H 2 /BPC 4 /CS /CMYK ID " + tricky + tricky + "EI Q"},
        {"indexed, rows padded to bytes", "BI /W 3 /H 6 /BPC 1 /CS [/I /RGB 1 <000000FFFFFF>] ID " + tricky + "EI Q"},
        {"image mask without /BPC", "BI /W 10 /H 3 /IM true ID " + tricky + "EI Q"},
        {"decode parameters passed over", "BI /W 6 /H 1 /BPC 8 /CS /G /DP << /Predictor 1 /Columns [1 2] >> /D [0 1] ID " + tricky + "EI Q"},
        {"empty filter array", "BI /W 6 /H 1 /BPC 8 /CS /G /F [] ID " + tricky + "EI Q"},
        {"comment in the dictionary", "BI /W 6 /H 1 %/W 9\n/BPC 8 /CS /G ID " + tricky + "EI Q"},
    };
    for (const TCase& test : cases) {
        SCOPED_TRACE(test.name);
        EXPECT_EQ(RestAfterImage(test.content), " Q");
    }
}

TEST(InlineImageEnd, FilteredDataEndAtAnEiFollowedByContent) {
    struct TCase {
        const char* name;
        std::string content;
        const char* rest;
    };
    const TCase cases[] = {
        // "EI" inside the binary data, followed by bytes that are no
        // operators; the real "EI" follows.
        {"binary data holding EI", "BI /W 9 /H 9 /BPC 8 /CS /RGB /F /Fl ID " + Bytes({'x', ' ', 'E', 'I', ' ', 0x80, 0x01, '(', 'z'}) + " EI Q BT", " Q BT"},
        {"filter array", "BI /W 9 /H 9 /BPC 8 /CS /RGB /F [/Fl] ID " + Bytes({'(', 'E', 'I', 0xC3, ' ', 'E', 'I', 'x'}) + "\nEI\n0 g", "\n0 g"},
        {"named colour space, unfiltered", "BI /W 1 /H 1 /BPC 8 /CS /Cs1 ID ab cd EI zz7 EI 1 0 0 RG", " 1 0 0 RG"},
        {"EI at the end of the content", "BI /W 4 /H 4 /F /DCT ID " + Bytes({0xFF, 0xD8, 0x00}) + " EI", ""},
        // ASCII85 digits may hold " EI " with blanks; "~>" ends them.
        {"ASCII85 ends at ~>", "BI /W 4 /H 4 /CS /G /BPC 8 /F [/A85 /Fl] ID Gar EI q(B~> EI Q", " Q"},
        {"ASCII85, full name", "BI /W 4 /H 4 /F /ASCII85Decode ID (EI ~>\nEI BT", " BT"},
        {"hexadecimal ends at >", "BI /W 1 /H 1 /CS /G /BPC 8 /F /AHx ID 4F>EI Q", " Q"},
        {"no dictionary at all", "BI  ID \x80 EI\nQ", "\nQ"},
        // Lengths that do not fit the data: the search takes over.
        {"unfiltered size too large", "BI /W 100 /H 100 /BPC 8 /CS /G ID abc EI Q", " Q"},
        {"unfiltered size too small", "BI /W 1 /H 1 /BPC 8 /CS /G ID abc EI Q", " Q"},
    };
    for (const TCase& test : cases) {
        SCOPED_TRACE(test.name);
        EXPECT_EQ(RestAfterImage(test.content), test.rest);
    }
}

TEST(InlineImageEnd, DamagedImagesEndTheContentRatherThanRunPastIt) {
    const char* cases[] = {
        "BI /W 1 /H 1",                          // no "ID"
        "BI /W 1 /H 1 /F /Fl ID abc",            // no "EI"
        "BI /W 1 /H 1 /F /Fl ID abc EIQ",        // "EI" not followed by a blank
        "BI /W 1 /H 1 /F /Fl ID abc xEI Q",      // not preceded by one
        "BI /W 1 /H 1 /F /Fl ID a EI \x80\x81",  // followed by binary bytes
        "BI /W 1 /H 1 /F /Fl ID a EI xyzzy",     // followed by no operator
        "BI /F [/Fl /DP << /A [",                // dictionary cut off
        "BI",
    };
    for (const char* content : cases) {
        SCOPED_TRACE(content);
        EXPECT_EQ(RestAfterImage(content), "");
    }
}

TEST_F(InterpreterTest, TextBehindAnInlineImageIsRead) {
    AddFont("/F1", 500);
    // The data open a string that would run over the text behind the image.
    Run("q 10 0 0 10 0 0 cm BI /W 4 /H 1 /BPC 8 /CS /G ID x(EI EI Q "
        "BT /F1 10 Tf (After) Tj ET "
        "BI /W 8 /H 8 /BPC 8 /CS /RGB /F /A85 ID 9jqo^(BlbD-~> EI "
        "BT /F1 10 Tf (Second) Tj ET");
    EXPECT_EQ(Texts(), (std::vector<std::string>{"After", "Second"}));
}

// The Latin character table, the code table built from it and the lookups.
#include <gtest/gtest.h>

#include <sstream>

#include "Charsets.h"
#include "TestSupport.h"

namespace {

TEST(CharsetsTest, RowsMatchTheReferenceTable) {
    std::istringstream expected(ReadFileText(DataPath("latin-charset.txt")));
    std::string line;
    size_t i = 0;
    const auto& rows = LatinCharsetRows();
    while (std::getline(expected, line)) {
        if (line.empty()) continue;
        ASSERT_LT(i, rows.size());
        // The rows are Windows-1252 (em dash = byte 151); the reference file is UTF-8.
        EXPECT_EQ(Cp1252ToUtf8(rows[i]), line) << "row " << i;
        ++i;
    }
    EXPECT_EQ(i, rows.size());
    EXPECT_EQ(rows.size(), 230u);
}

TEST(CharsetsTest, SampleRowsAsWritten) {
    const auto& rows = LatinCharsetRows();
    auto find = [&rows](const std::string& prefix, int nth = 0) -> std::string {
        for (const char* row : rows)
            if (std::string(row).rfind(prefix, 0) == 0 && nth-- == 0) return row;
        return "";
    };
    EXPECT_EQ(find("Aacute "), "Aacute \x97 \x97 231 347 193 301 193 301");
    EXPECT_EQ(find("zero "), "zero 48 60 48 60 48 60 48 60");
    EXPECT_EQ(find("space ", 1), "space \x97 \x97 202 312 160 240 \x97 \x97");
    EXPECT_EQ(find("Euro "), "Euro \x97 \x97 \x97 \x97 128 200 160 240");
}

TEST(CharsetsTest, CodeTableRowsByEncoding) {
    const TCodeTable& table = CodeTable();
    // Row 0 is "A" in every encoding; the last byte of each row is unused.
    for (int e = 0; e < 4; ++e) {
        EXPECT_EQ(table[e][0], 65) << e;
        EXPECT_EQ(table[e][kCodeTableWidth - 1], 0) << e;
    }
    const auto& rows = LatinCharsetRows();
    for (size_t i = 0; i < rows.size(); ++i) {
        if (std::string(rows[i]).rfind("Euro ", 0) != 0) continue;
        EXPECT_EQ(table[kStandardEncoding][i], 0);
        EXPECT_EQ(table[kMacRomanEncoding][i], 0);
        EXPECT_EQ(table[kWinAnsiEncoding][i], 128);
        EXPECT_EQ(table[kPDFDocEncoding][i], 160);
    }
}

struct TConvertCase {
    int code;
    int from;
    int to;
    int expected;
};

TEST(CharsetsTest, ConvertCode) {
    const TConvertCase cases[] = {
        {128, kWinAnsiEncoding, kMacRomanEncoding, 0},     // Euro: no MacRoman code
        {196, kWinAnsiEncoding, kMacRomanEncoding, 128},   // Adieresis
        {128, kMacRomanEncoding, kWinAnsiEncoding, 196},   // Adieresis back
        {225, kStandardEncoding, kWinAnsiEncoding, 198},   // AE
        {202, kMacRomanEncoding, kWinAnsiEncoding, 160},   // the second space row
        {160, kWinAnsiEncoding, kPDFDocEncoding, 0},       // no-break space: no PDFDoc code
        {65, kPDFDocEncoding, kStandardEncoding, 65},
        {129, kWinAnsiEncoding, kMacRomanEncoding, 129},   // no glyph has it: unchanged
        {0, kStandardEncoding, kWinAnsiEncoding, 0},       // not the first glyph lacking a code
        {200, kWinAnsiEncoding, 7, 200},                   // encoding out of range: unchanged
    };
    for (const auto& c : cases)
        EXPECT_EQ(ConvertCode(static_cast<uint8_t>(c.code), c.from, c.to), c.expected)
            << c.code << " " << c.from << "->" << c.to;
}

TEST(CharsetsTest, WinAnsiCodeOfGlyphNames) {
    EXPECT_EQ(WinAnsiCodeOf("A"), 65);
    EXPECT_EQ(WinAnsiCodeOf("Euro"), 128);
    EXPECT_EQ(WinAnsiCodeOf("bullet"), 149);
    EXPECT_EQ(WinAnsiCodeOf("space"), 32);  // the first row wins
    EXPECT_EQ(WinAnsiCodeOf("fi"), std::nullopt);
    EXPECT_EQ(WinAnsiCodeOf("a"), 97);
    EXPECT_EQ(WinAnsiCodeOf("AACUTE"), std::nullopt);  // case matters
    EXPECT_EQ(WinAnsiCodeOf(""), std::nullopt);
    EXPECT_EQ(WinAnsiCodeOf("/A"), std::nullopt);
}

}  // namespace

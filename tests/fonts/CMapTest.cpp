// The CMap reader: ToUnicode maps (bfchar, bfrange with offsets and arrays,
// surrogate pairs, ligatures), code-space ranges splitting multi-byte
// strings, CID mappings, usecmap and what broken maps leave.
#include <gtest/gtest.h>

#include "CMap.h"

namespace {

const char* const kToUnicode = R"(/CIDInit /ProcSet findresource begin
12 dict begin
begincmap
/CMapName /Adobe-Identity-UCS def
/CMapType 2 def
1 begincodespacerange
<0000> <FFFF>
endcodespacerange
4 beginbfchar
<0003> <0020>
<0011> <00660069>
<0012> <D835DC9C>
<0013><0041>
endbfchar
3 beginbfrange
<0020> <0022> <0061>
<0030> <0032> [<0058> <00590059> <005A>]
<1000> <1FFF> <4E00>
endbfrange
endcmap
CMapName currentdict /CMap defineresource pop
end
end
)";

}  // namespace

TEST(CMapTest, ToUnicodeMappings) {
    const TCMap map = TCMap::Parse(kToUnicode);
    ASSERT_TRUE(map.HasUnicode());
    struct TCase {
        uint32_t code;
        const char* utf8;
    };
    const TCase cases[] = {
        {0x0003, " "},
        {0x0011, "fi"},                  // a ligature to two characters
        {0x0012, "\xF0\x9D\x92\x9C"},    // a surrogate pair: U+1D49C
        {0x0013, "A"},                   // no blank between source and target
        {0x0020, "a"},      {0x0021, "b"}, {0x0022, "c"},  // an offset range
        {0x0030, "X"},      {0x0031, "YY"}, {0x0032, "Z"},  // an array range
        {0x1000, "\xE4\xB8\x80"},        // a wide range kept as a range: U+4E00
        {0x1FFF, "\xE5\xB7\xBF"},        // its last code: U+5DFF
        {0x0004, ""},       {0x0023, ""}, {0x2000, ""},     // codes the map lacks
    };
    for (const TCase& c : cases) EXPECT_EQ(map.Unicode(c.code), c.utf8) << std::hex << c.code;
}

TEST(CMapTest, CodeSpaceRangesSplitStrings) {
    // One-byte codes 00-80, two-byte codes 8140-9FFC (a Shift-JIS-like map).
    const TCMap map = TCMap::Parse(
        "begincmap 2 begincodespacerange <00> <80> <8140> <9FFC> endcodespacerange "
        "1 begincidrange <8140> <817E> 633 endcidrange 1 begincidchar <41> 34 endcidchar endcmap");
    const std::string text("\x41\x81\x40\x9F\x7E\xFF", 6);
    std::vector<std::pair<uint32_t, uint32_t>> codes;
    std::string_view rest(text);
    while (!rest.empty()) {
        const TCMap::TCode code = map.NextCode(rest);
        ASSERT_GT(code.length, 0u);
        codes.emplace_back(code.value, code.length);
        rest.remove_prefix(code.length);
    }
    // 0xFF fits no range: one byte, the shortest range's length.
    const std::vector<std::pair<uint32_t, uint32_t>> expected = {{0x41, 1}, {0x8140, 2}, {0x9F7E, 2}, {0xFF, 1}};
    EXPECT_EQ(codes, expected);
    EXPECT_EQ(map.Cid(0x41), 34u);
    EXPECT_EQ(map.Cid(0x8140), 633u);
    EXPECT_EQ(map.Cid(0x8145), 638u);
    EXPECT_EQ(map.Cid(0x9F7E), 0x9F7Eu);  // no mapping: the code itself
}

TEST(CMapTest, IdentityTakesTwoBytesAndInheritanceFillsGaps) {
    const TCMap identity = TCMap::Identity(true);
    EXPECT_TRUE(identity.Vertical());
    const TCMap::TCode code = identity.NextCode(std::string_view("\x01\x02\x03", 3));
    EXPECT_EQ(code.value, 0x0102u);
    EXPECT_EQ(code.length, 2u);
    EXPECT_EQ(identity.Cid(0x0102), 0x0102u);

    TCMap derived = TCMap::Parse("/Base usecmap /WMode 1 def 1 beginbfchar <05> <0042> endbfchar");
    EXPECT_EQ(derived.UsedCMap(), "Base");
    EXPECT_TRUE(derived.Vertical());
    EXPECT_FALSE(derived.HasCodeSpace());
    derived.Inherit(TCMap::Parse(kToUnicode));
    EXPECT_TRUE(derived.HasCodeSpace());
    EXPECT_EQ(derived.Unicode(0x05), "B");     // its own entry
    EXPECT_EQ(derived.Unicode(0x03), " ");     // the base's
    EXPECT_EQ(derived.Unicode(0x1001), "\xE4\xB8\x81");
}

TEST(CMapTest, BrokenMapsGiveWhatIsReadable) {
    struct TCase {
        const char* name;
        std::string bytes;
        uint32_t code;
        const char* utf8;
    };
    const TCase cases[] = {
        {"empty", "", 1, ""},
        {"not a CMap", "%PDF-1.4 garbage ((( <<>> ]]]", 1, ""},
        {"cut in a section", "2 beginbfchar <01> <0041> <02>", 1, "A"},
        {"cut in a hex string", "1 beginbfchar <01> <00", 1, ""},
        {"range backwards", "1 beginbfrange <10> <05> <0041> endbfrange", 5, ""},
        {"source too long", "1 beginbfchar <0102030405> <0041> endbfchar", 0x02030405, ""},
        {"wrong operand kinds", "1 beginbfchar /a 5 endbfchar 1 beginbfchar <07> <0043> endbfchar", 7, "C"},
        {"unpaired surrogate", "1 beginbfchar <01> <D800> endbfchar", 1, "\xEF\xBF\xBD"},
        {"digits split by a blank", "1 beginbfchar <00 01> <00 41> endbfchar", 1, "A"},
        {"after endcmap", "endcmap 1 beginbfchar <01> <0041> endbfchar", 1, ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        const TCMap map = TCMap::Parse(c.bytes);
        EXPECT_EQ(map.Unicode(c.code), c.utf8);
        // Splitting never loops or overruns, whatever the ranges say.
        const TCMap::TCode code = map.NextCode(std::string_view("\x01", 1));
        EXPECT_EQ(code.length, 1u);
    }
}

TEST(CMapTest, SizesAreBounded) {
    // A range of a million codes stays one range; a map cannot grow past its
    // entry limit however many entries the bytes list.
    std::string huge = "1 beginbfrange <000000> <0FFFFF> <0041> endbfrange 1 beginbfchar ";
    for (int i = 0; i < 5000; ++i) huge += "<" + std::to_string(10000 + i) + "> <0041> ";
    huge += "endbfchar";
    const TCMap map = TCMap::Parse(huge);
    EXPECT_EQ(map.Unicode(0x0FFFFF), Utf16ToUtf8(std::u16string(1, static_cast<char16_t>(0x0041 + 0xFFFFF))));
    EXPECT_EQ(map.Unicode(0x100000), "A");  // "<10000>": an odd last digit is followed by 0

    std::string longTarget = "1 beginbfchar <01> <";
    for (int i = 0; i < 1000; ++i) longTarget += "0041";
    longTarget += "> endbfchar";
    EXPECT_EQ(TCMap::Parse(longTarget).Unicode(1).size(), TCMap::kMaxCharsPerCode);
}

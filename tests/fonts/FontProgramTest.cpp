// Subsetting, subset tags, ToUnicode CMaps and the licence bits of the
// embedded font programs, checked with FreeType on the subsets HarfBuzz
// writes.
#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include "FontFiles_p.h"
#include "FontProgram.h"
#include "TestSupport.h"

namespace {

std::string LiberationSans() {
    const auto match = MatchFontFile("Liberation Sans", false, false);
    return match && match->familyMatches ? match->path : std::string();
}

std::set<char32_t> Characters(const std::u32string& text) { return {text.begin(), text.end()}; }

// Opens font bytes with FreeType, as a PDF viewer would the embedded program.
class TFreeTypeBytes {
public:
    explicit TFreeTypeBytes(const std::string& bytes) : bytes_(bytes) {
        FT_Init_FreeType(&library_);
        if (FT_New_Memory_Face(library_, reinterpret_cast<const FT_Byte*>(bytes_.data()),
                               static_cast<FT_Long>(bytes_.size()), 0, &face_) != 0)
            face_ = nullptr;
    }
    ~TFreeTypeBytes() {
        if (face_) FT_Done_Face(face_);
        FT_Done_FreeType(library_);
    }
    FT_Face Face() const { return face_; }
    bool Has(char32_t ch) const { return face_ && FT_Get_Char_Index(face_, ch) != 0; }

private:
    std::string bytes_;
    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
};

uint32_t Big32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t k = 0; k < 4; ++k) value = value << 8 | static_cast<uint8_t>(bytes[at + k]);
    return value;
}

// A copy of a TrueType file with another OS/2 fsType, its table checksum
// made right again.
std::string WithFsType(const std::string& font, uint16_t fsType) {
    std::string bytes = font;
    const uint32_t tables = static_cast<uint8_t>(bytes[4]) << 8 | static_cast<uint8_t>(bytes[5]);
    for (uint32_t t = 0; t < tables; ++t) {
        const size_t record = 12 + 16 * t;
        if (bytes.compare(record, 4, "OS/2") != 0) continue;
        const uint32_t offset = Big32(bytes, record + 8);
        const uint32_t length = Big32(bytes, record + 12);
        bytes[offset + 8] = static_cast<char>(fsType >> 8);
        bytes[offset + 9] = static_cast<char>(fsType & 0xFF);
        uint32_t sum = 0;
        for (uint32_t k = 0; k < (length + 3) / 4; ++k) {
            std::string word = bytes.substr(offset + 4 * k, 4);
            word.resize(4, '\0');
            sum += Big32(word, 0);
        }
        for (size_t k = 0; k < 4; ++k) bytes[record + 4 + k] = static_cast<char>(sum >> (24 - 8 * k));
    }
    return bytes;
}

TEST(EmbedPermission, FollowsTheLicenceBits) {
    struct TCase {
        uint16_t fsType;
        TEmbedPermission expected;
    } const cases[] = {
        {0x0000, TEmbedPermission::Subset},     {0x0008, TEmbedPermission::Subset},
        {0x0004, TEmbedPermission::Subset},     {0x0002, TEmbedPermission::Restricted},
        // An editable or print-and-preview bit lifts the restriction.
        {0x0006, TEmbedPermission::Subset},     {0x0100, TEmbedPermission::WholeFont},
        {0x0108, TEmbedPermission::WholeFont},  {0x0200, TEmbedPermission::BitmapOnly},
        {0x0302, TEmbedPermission::BitmapOnly},
    };
    for (const TCase& c : cases) EXPECT_EQ(PermissionOf(c.fsType), c.expected) << std::hex << c.fsType;
}

TEST(FontProgram, PatchedFsTypeIsReadBack) {
    const std::string path = LiberationSans();
    ASSERT_FALSE(path.empty()) << "fonts-liberation2 is needed";
    const std::string original = ReadFileText(path);
    const std::string dir = ScratchDir("fstype");
    for (const auto& [fsType, permission] : {std::pair{uint16_t{0x0002}, TEmbedPermission::Restricted},
                                             std::pair{uint16_t{0x0200}, TEmbedPermission::BitmapOnly},
                                             std::pair{uint16_t{0x0100}, TEmbedPermission::WholeFont}}) {
        const std::string copy = dir + "/fs" + std::to_string(fsType) + ".ttf";
        WriteFileBytes(copy, WithFsType(original, fsType));
        const auto info = ReadFontProgramInfo(copy, 0);
        ASSERT_TRUE(info.has_value());
        EXPECT_EQ(info->fsType, fsType);
        EXPECT_EQ(info->permission, permission);
    }
    const auto info = ReadFontProgramInfo(path, 0);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->postScriptName, "LiberationSans");
    // Liberation Sans states its cap height in the OS/2 table: 1409/2048 em.
    EXPECT_EQ(info->capHeight, 1409 * 1000 / 2048);
    EXPECT_FALSE(info->fixedPitch);
    EXPECT_FALSE(ReadFontProgramInfo(dir + "/none.ttf", 0).has_value());
}

TEST(FontProgram, SubsetHoldsExactlyTheCharactersAsked) {
    const std::string path = LiberationSans();
    ASSERT_FALSE(path.empty()) << "fonts-liberation2 is needed";
    const std::set<char32_t> wanted = Characters(U"Grüße, äÖ fi\u2013\u20AC");
    const auto subset = SubsetFontProgram(path, 0, wanted, false);
    ASSERT_TRUE(subset.has_value());
    const std::string whole = ReadFileText(path);
    EXPECT_LT(subset->size() * 10, whole.size()) << "the subset should be a small part of the font";

    TFreeTypeBytes ft(*subset);
    ASSERT_NE(ft.Face(), nullptr) << "FreeType cannot open the subset";
    for (char32_t ch : wanted) EXPECT_TRUE(ft.Has(ch)) << "U+" << std::hex << static_cast<uint32_t>(ch);
    for (char32_t ch : Characters(U"zZ9@")) EXPECT_FALSE(ft.Has(ch)) << "U+" << std::hex << static_cast<uint32_t>(ch);
    // .notdef, the glyphs asked for, and nothing else worth mentioning
    // (composite glyphs may pull in their components).
    EXPECT_GE(ft.Face()->num_glyphs, static_cast<FT_Long>(wanted.size() + 1));
    EXPECT_LE(ft.Face()->num_glyphs, static_cast<FT_Long>(wanted.size() + 12));

    // Equal input, equal bytes: a saved file does not change from run to run.
    EXPECT_EQ(SubsetFontProgram(path, 0, wanted, false), subset);
    // No subsetting allowed: the file as it is.
    EXPECT_EQ(SubsetFontProgram(path, 0, wanted, true), whole);
}

TEST(FontProgram, SubsetTagIsSixCapitalsDerivedFromTheCharacters) {
    const std::string a = SubsetTag("LiberationSans", Characters(U"abc"));
    ASSERT_EQ(a.size(), 6u);
    for (char ch : a) EXPECT_TRUE(ch >= 'A' && ch <= 'Z') << a;
    EXPECT_EQ(SubsetTag("LiberationSans", Characters(U"cba")), a);
    EXPECT_NE(SubsetTag("LiberationSans", Characters(U"abd")), a);
    EXPECT_NE(SubsetTag("LiberationSerif", Characters(U"abc")), a);
}

TEST(FontProgram, ToUnicodeCMapListsEveryCodeInBlocksOfAHundred) {
    std::vector<std::pair<uint8_t, char32_t>> map;
    for (int code = 0; code < 256; ++code) map.emplace_back(static_cast<uint8_t>(code), code == 7 ? 0 : 0x100 + code);
    map[65].second = 0x1F600;  // outside the BMP: a surrogate pair
    const std::string cmap = ToUnicodeCMap(map);
    EXPECT_NE(cmap.find("100 beginbfchar"), std::string::npos);
    EXPECT_NE(cmap.find("55 beginbfchar"), std::string::npos);  // 255 codes with a character
    EXPECT_NE(cmap.find("<41> <D83DDE00>"), std::string::npos);
    EXPECT_NE(cmap.find("<FF> <01FF>"), std::string::npos);
    EXPECT_EQ(cmap.find("<07>"), std::string::npos);
    EXPECT_NE(cmap.find("<00> <FF>\nendcodespacerange"), std::string::npos);
}

}  // namespace

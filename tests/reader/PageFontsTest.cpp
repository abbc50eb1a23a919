// Per page, the fonts the program lists are those `pdffonts -f N -l N`
// lists: the page's own, those of the forms its resources reach and those
// of its annotations' appearances. Compared by name, kind of font and
// whether it is embedded, for every corpus and real-world file that opens.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <sys/wait.h>

#include "TestSupport.h"

namespace {

// pdffonts names the kind of font after its program ("Type 1C", "TrueType
// (OT)"); the dictionary's /Subtype says the same family.
std::string FamilyOfPdffontsType(const std::string& type) {
    if (type.rfind("CID", 0) == 0) return "composite";
    if (type.rfind("Type 1", 0) == 0) return "Type 1";
    if (type.rfind("TrueType", 0) == 0) return "TrueType";
    if (type == "Type 3") return "Type 3";
    return type;
}

std::string FamilyOfSubtype(const std::string& subtype) {
    if (subtype == "/Type0") return "composite";
    if (subtype == "/Type1" || subtype == "/MMType1") return "Type 1";
    if (subtype == "/TrueType") return "TrueType";
    if (subtype == "/Type3") return "Type 3";
    return subtype;
}

// A name as other readers show it: without the slash, "#xx" decoded.
std::string ShownName(const std::string& baseFont) {
    if (baseFont.empty()) return "[none]";
    std::string shown;
    for (size_t i = 1; i < baseFont.size(); ++i) {
        if (baseFont[i] == '#' && i + 2 < baseFont.size() && std::isxdigit(static_cast<unsigned char>(baseFont[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(baseFont[i + 2]))) {
            shown += static_cast<char>(std::stoi(baseFont.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            shown += baseFont[i];
        }
    }
    return shown;
}

using TFontRow = std::string;  // "name | family | embedded"
using TPageFonts = std::multiset<TFontRow>;

TFontRow Row(const std::string& name, const std::string& family, bool embedded) {
    return name + " | " + family + " | " + (embedded ? "yes" : "no");
}

// Nothing when pdffonts cannot read the file.
std::optional<TPageFonts> PdffontsOfPage(const std::string& path, int page) {
    static const std::regex line(
        R"(^(.*?)\s+(Type 1C \(OT\)|Type 1C|Type 1|Type 3|TrueType \(OT\)|TrueType|CID Type 0C \(OT\)|CID Type 0C|CID Type 0|CID TrueType \(OT\)|CID TrueType|unknown)\s+\S+\s+(yes|no)\s+(yes|no)\s+(yes|no)\s+\S+\s+\S+\s*$)");
    TPageFonts fonts;
    const TToolResult pdffonts = RunTool(
        "pdffonts -f " + std::to_string(page) + " -l " + std::to_string(page) + " " + Quoted(path),
        TToolStreams::OutputOnly);
    if (pdffonts.status != 0) return std::nullopt;
    std::istringstream lines(pdffonts.output);
    std::string text;
    while (std::getline(lines, text)) {
        std::smatch m;
        if (std::regex_match(text, m, line)) fonts.insert(Row(m[1], FamilyOfPdffontsType(m[2]), m[3] == "yes"));
    }
    return fonts;
}

// The records of one page, each font dictionary once however many
// resource names or forms lead to it.
TPageFonts ListedOnPage(const TPdfDocument& doc, int pageIndex) {
    TPageFonts fonts;
    std::set<int32_t> seen;
    for (const TFontRecord& font : doc.fontList) {
        if (font.hidden || font.pageIndex != pageIndex || !seen.insert(font.fontDictPos).second) continue;
        // A Type 3 font's glyphs are always in the file: other readers call
        // it embedded.
        fonts.insert(Row(ShownName(font.baseFont), FamilyOfSubtype(font.subtype), font.embedded || font.isType3));
    }
    return fonts;
}

std::string Listing(const TPageFonts& fonts) {
    std::string text;
    for (const TFontRow& row : fonts) text += "    " + row + "\n";
    return text;
}

// file -> reason, for differences whose cause lies elsewhere.
std::map<std::string, std::string> KnownDifferences() {
    std::map<std::string, std::string> known;
    std::ifstream in(DataPath("page-fonts-known.tsv"));
    std::string text;
    while (std::getline(in, text)) {
        if (text.empty() || text[0] == '#') continue;
        const size_t tab = text.find('\t');
        if (tab != std::string::npos) known[text.substr(0, tab)] = text.substr(tab + 1);
    }
    return known;
}

std::vector<std::string> FilesOfBothFolders() {
    std::vector<std::string> files;
    for (const TManifestRow& row : LoadManifest()) files.push_back(CorpusPath(row.file));
    std::ifstream in(DataPath("realworld/expect.tsv"));
    std::string text;
    std::getline(in, text);  // header
    while (std::getline(in, text)) {
        const size_t tab = text.find('\t');
        if (tab != std::string::npos) files.push_back(DataPath("realworld/" + text.substr(0, tab)));
    }
    return files;
}

TEST(PageFonts, EveryPageListsTheFontsPdffontsLists) {
    const auto known = KnownDifferences();
    const std::vector<std::string> files = FilesOfBothFolders();
    ASSERT_GE(files.size(), 100u);
    int comparedPages = 0, formOrAnnotationFonts = 0;
    std::string failures, stillKnown;
    for (const std::string& path : files) {
        auto h = OpenHeadless(path, false);
        if (!IsOpened(h->doc.LastOpen().outcome)) continue;
        const std::string file = path.substr(path.rfind('/') + 1);
        for (const TFontRecord& font : h->doc.fontList) formOrAnnotationFonts += font.use != TFontUse::PageContent;
        std::string difference;
        for (int page = 1; page <= h->doc.pageList.Count() && difference.empty(); ++page) {
            const std::optional<TPageFonts> expected = PdffontsOfPage(path, page);
            if (!expected) break;
            const TPageFonts listed = ListedOnPage(h->doc, page - 1);
            ++comparedPages;
            if (listed != *expected)
                difference = "  page " + std::to_string(page) + ", pdffonts:\n" + Listing(*expected) +
                             "  listed:\n" + Listing(listed);
        }
        const bool isKnown = known.count(file) > 0;
        if (!difference.empty() && !isKnown) failures += file + "\n" + difference;
        if (difference.empty() && isKnown) stillKnown += file + "\n";
    }
    EXPECT_GT(comparedPages, 500);
    // The corpora hold forms and annotations with fonts of their own.
    EXPECT_GT(formOrAnnotationFonts, 0);
    EXPECT_EQ(failures, "");
    EXPECT_EQ(stillKnown, "") << "these files pass now: remove them from page-fonts-known.tsv";
}

}  // namespace

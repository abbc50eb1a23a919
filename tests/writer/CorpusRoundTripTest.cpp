// Every PDF file of the corpus folders is saved by glyphwell-cli as a user
// would save it, and the saved file is checked by independent tools: with
// nothing replaced nothing may be lost (qpdf finds nothing new, poppler sees
// the same pages, sizes and text, and renders the first three pages to the
// same pixels unless the original is damaged and listed in
// render-differs.tsv); with the first simple font of page 1 replaced by an
// added TrueType font, page 1 draws with an embedded subset of it and keeps
// its ink and every character of its text, or the replacement is refused
// with the reason. A file put into one of the folders joins the test by
// itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "PdfText.h"
#include "SavedFileChecks.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;

struct TCorpusFile {
    std::string folder;  // below tests/data
    std::string name;
};

void PrintTo(const TCorpusFile& file, std::ostream* os) { *os << file.folder << "/" << file.name; }

const char* const kFolders[] = {"corpus", "realworld"};

std::vector<TCorpusFile> CorpusFiles() {
    std::vector<TCorpusFile> files;
    for (const char* folder : kFolders) {
        const fs::path dir = DataPath(folder);
        if (!fs::is_directory(dir)) continue;
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.path().extension() == ".pdf") files.push_back({folder, entry.path().filename().string()});
    }
    std::sort(files.begin(), files.end(),
              [](const TCorpusFile& a, const TCorpusFile& b) { return std::tie(a.folder, a.name) < std::tie(b.folder, b.name); });
    return files;
}

// Corpus files the manifest says open: for them a refusal is a fault, not
// a reason to skip.
const std::set<std::string>& FilesThatMustOpen() {
    static const std::set<std::string> files = [] {
        std::set<std::string> names;
        for (const TManifestRow& row : LoadManifest())
            if (row.expected.rfind("open", 0) == 0) names.insert(row.file);
        return names;
    }();
    return files;
}

// Files whose saved renderings differ from their originals': each is damaged
// (qpdf --check finds errors, or repairs the file), and poppler repairs the
// original otherwise than the saved file reads. "folder/name", a tab and the reason, one a line.
const std::map<std::string, std::string>& RenderingsThatMayDiffer() {
    static const std::map<std::string, std::string> files = [] {
        std::map<std::string, std::string> listed;
        std::istringstream lines(ReadFileText(DataPath("render-differs.tsv")));
        for (std::string line; std::getline(lines, line);) {
            const size_t tab = line.find('\t');
            if (line.empty() || line[0] == '#' || tab == std::string::npos) continue;
            listed.emplace(line.substr(0, tab), line.substr(tab + 1));
        }
        return listed;
    }();
    return files;
}

class SavedCorpusFile : public ::testing::TestWithParam<TCorpusFile> {
protected:
    std::string In() const { return DataPath(GetParam().folder + "/" + GetParam().name); }
    // Whether the input is of PDF 1.5 or later and has a cross-reference
    // stream: saved at its own version, it is written compact again.
    bool InputIsCompact() const {
        const std::string bytes = ReadFileText(In());
        return bytes.substr(0, 8) >= "%PDF-1.5" && bytes.find("/XRef") != std::string::npos;
    }
    std::string Scratch(const std::string& what) const {
        return ScratchDir(what + "-" + GetParam().folder + "-" + GetParam().name);
    }

    // Saves with the given extra arguments; false (and the test skipped or
    // failed) when the file does not open.
    bool Save(const std::string& out, const std::string& extra, TToolResult& run) const {
        run = RunTool(Quoted(CliPath()) + " save " + Quoted(In()) + " -o " + Quoted(out) + extra);
        // glyphwell-cli exits with 1 to 3 when the input cannot be opened
        // (invalid, unreadable, encrypted), with 7 when its permissions
        // forbid changes and nothing is written.
        const bool refused = (run.status >= 1 && run.status <= 3) || run.status == 7;
        if (refused && GetParam().folder == "corpus" && FilesThatMustOpen().count(GetParam().name)) {
            ADD_FAILURE() << "refused: " << run.output;
            return false;
        }
        return !refused;
    }
};

TEST_P(SavedCorpusFile, NothingReplacedLosesNothing) {
    const std::string dir = Scratch("plain");
    const std::string out = dir + "/out.pdf";
    TToolResult save;
    if (!Save(out, "", save)) {
        if (!HasFailure()) GTEST_SKIP() << "does not open";
        return;
    }
    ASSERT_EQ(save.status, 0) << save.output;

    const TQpdfCheck checkIn = QpdfCheck(In());
    const TQpdfCheck checkOut = QpdfCheck(out);
    // An original in which qpdf already finds errors (a content stream that
    // does not inflate, a file cut short) keeps them: the writer copies
    // objects, it does not mend their data.
    if (checkIn.status != 2) {
        EXPECT_NE(checkOut.status, 2) << checkOut.output;
        EXPECT_EQ(NewWarnings(checkIn, checkOut), std::vector<std::string>{}) << checkOut.output;
    }

    // A listed original is damaged so that each reader repairs it its own
    // way: poppler's pages of it are no measure of the saved file.
    const auto& mayDiffer = RenderingsThatMayDiffer();
    if (const auto listed = mayDiffer.find(GetParam().folder + "/" + GetParam().name); listed != mayDiffer.end()) {
        const bool damaged = checkIn.status == 2 || checkIn.output.find("file is damaged") != std::string::npos;
        EXPECT_TRUE(damaged) << "listed (" << listed->second << "), but qpdf finds the original sound";
        const TRenderDiff render = CompareRenderings(In(), out, dir, 50, 3);
        EXPECT_TRUE(render.maxPixelDiff > 0 || !render.problem.empty())
            << "renders the same now: take it off the list (" << listed->second << ")";
        return;
    }

    const std::vector<TPageGeometry> geometryIn = PageGeometry(In());
    if (geometryIn.empty()) GTEST_SKIP() << "pdfinfo cannot read the original: nothing to compare with";
    const std::vector<TPageGeometry> geometryOut = PageGeometry(out);
    ASSERT_EQ(geometryOut.size(), geometryIn.size());
    for (size_t page = 0; page < geometryIn.size(); ++page) {
        EXPECT_NEAR(geometryOut[page].width, geometryIn[page].width, 0.001) << "page " << page + 1;
        EXPECT_NEAR(geometryOut[page].height, geometryIn[page].height, 0.001) << "page " << page + 1;
        EXPECT_EQ(geometryOut[page].rotation, geometryIn[page].rotation) << "page " << page + 1;
    }

    const std::vector<std::string> textsIn = PageTexts(In());
    const std::vector<std::string> textsOut = PageTexts(out);
    ASSERT_EQ(textsOut.size(), textsIn.size());
    for (size_t page = 0; page < textsIn.size(); ++page) EXPECT_EQ(textsOut[page], textsIn[page]) << "page " << page + 1;

    // The first three pages at a low resolution: what a reader would show
    // of the file, within the time the whole corpus may take.
    const TRenderDiff render = CompareRenderings(In(), out, dir, 50, 3);
    EXPECT_EQ(render.problem, "");
    EXPECT_EQ(render.maxPixelDiff, 0);

    // Saved at its own version, a file in the compact form stays compact
    // and does not grow.
    if (InputIsCompact()) {
        const auto sizeIn = fs::file_size(In());
        EXPECT_LE(static_cast<double>(fs::file_size(out)), 1.05 * static_cast<double>(sizeIn));
    }
}

// Saved in the other form than its own (the compact form for files of 1.4
// and earlier, the classic table for later ones), a file keeps its pages
// and draws the same.
TEST_P(SavedCorpusFile, SavedInTheOtherFormLosesNothing) {
    const std::string dir = Scratch("other-form");
    const std::string out = dir + "/out.pdf";
    const std::string header = ReadFileText(In()).substr(0, 8);
    const bool laterVersion = header >= "%PDF-1.5";
    TToolResult save;
    if (!Save(out, laterVersion ? " --version 1.4" : " --version 1.5", save)) {
        if (!HasFailure()) GTEST_SKIP() << "does not open";
        return;
    }
    ASSERT_EQ(save.status, 0) << save.output;
    EXPECT_EQ(ReadFileText(out).substr(0, 8), laterVersion ? "%PDF-1.4" : "%PDF-1.5");
    const TQpdfCheck checkIn = QpdfCheck(In());
    const TQpdfCheck checkOut = QpdfCheck(out);
    if (checkIn.status != 2) {
        EXPECT_NE(checkOut.status, 2) << checkOut.output;
        EXPECT_EQ(NewWarnings(checkIn, checkOut), std::vector<std::string>{}) << checkOut.output;
    }
    const std::vector<TPageGeometry> geometryIn = PageGeometry(In());
    if (geometryIn.empty()) GTEST_SKIP() << "pdfinfo cannot read the original: nothing to compare with";
    EXPECT_EQ(PageGeometry(out).size(), geometryIn.size());
    const TRenderDiff render = CompareRenderings(In(), out, dir);
    EXPECT_EQ(render.problem, "");
    EXPECT_LE(render.maxPixelDiff, 16);
}

// The characters of a text, each with how often it stands there, blanks
// aside; a ligature counts as its letters, which a reader may give instead.
std::map<char32_t, int> CharacterCounts(const std::string& utf8) {
    static const std::map<char32_t, std::u32string> kLigatures = {
        {0xFB00, U"ff"}, {0xFB01, U"fi"}, {0xFB02, U"fl"}, {0xFB03, U"ffi"}, {0xFB04, U"ffl"}, {0xFB06, U"st"}};
    std::map<char32_t, int> counts;
    for (size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<uint8_t>(utf8[i]);
        const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t ch = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; k < length && i + k < utf8.size(); ++k) ch = ch << 6 | (utf8[i + k] & 0x3F);
        i += length;
        if (ch <= ' ' || ch == 0xA0) continue;
        const auto ligature = kLigatures.find(ch);
        if (ligature == kLigatures.end()) ++counts[ch];
        else for (char32_t letter : ligature->second) ++counts[letter];
    }
    return counts;
}

// The first simple font of page 1's own resources, as the program lists
// it; empty when there is none or the file does not open. Type 3 fonts are
// left out: their glyphs are drawings in a space of their own, whose size
// has nothing to do with the em of a replacing font, so the replacing text
// keeps its place but not the drawings' ink.
std::string FirstSimpleFontOfPageOne(const std::string& path) {
    auto opened = OpenHeadless(path, false);
    if (!opened->OpenErrors().empty()) return {};
    for (const TFontRecord& font : opened->doc.fontList)
        if (!font.hidden && font.pageIndex == 0 && font.scopePos < 0 && font.subtype != "/Type0" && !font.isType3 &&
            !font.resName.empty())
            return Cp1252ToUtf8(font.resName);
    return {};
}

TEST_P(SavedCorpusFile, ReplacingTheFirstFontOfPageOneKeepsItsText) {
    const std::string replaced = FirstSimpleFontOfPageOne(In());
    if (replaced.empty()) GTEST_SKIP() << "page 1 has no simple font, or the file does not open";
    const std::string dir = Scratch("replaced");
    const std::string out = dir + "/out.pdf";
    const TToolResult save = RunTool(Quoted(CliPath()) + " save " + Quoted(In()) + " -o " + Quoted(out) +
                                     " --add-font 'Liberation Sans' --replace '1:" + replaced + "=/LiberationSans'");
    if (save.status == 4) {
        // Refused: the user is told why, and nothing is written.
        EXPECT_TRUE(std::regex_search(save.output, std::regex("kann nicht ersetzt werden: für [0-9]+ Zeichen ist nicht "
                                                              "bekannt, welche? Buchstaben? (sie sind|es ist)")))
            << save.output;
        EXPECT_FALSE(fs::exists(out));
        RecordProperty("refused", save.output);
        return;
    }
    if (save.status == 7) {
        // The file's permissions forbid changes: nothing is written.
        EXPECT_NE(save.output.find("Änderung nicht erlaubt"), std::string::npos) << save.output;
        EXPECT_FALSE(fs::exists(out));
        return;
    }
    ASSERT_EQ(save.status, 0) << save.output;
    if (QpdfCheck(In()).status != 2) {
        EXPECT_NE(QpdfCheck(out).status, 2);
    }
    const TToolResult fonts = RunTool("pdffonts -f 1 -l 1 " + Quoted(out));
    EXPECT_TRUE(std::regex_search(fonts.output, std::regex("[A-Z]{6}\\+LiberationSans +TrueType +\\S+ +yes yes yes")))
        << "replacing " << replaced << ":\n" << fonts.output;

    // The page keeps its text: most of its ink, and every character it had.
    const int64_t inkIn = PageInk(In(), 1, dir);
    if (inkIn > 0) {
        EXPECT_GE(static_cast<double>(PageInk(out, 1, dir)), 0.75 * static_cast<double>(inkIn)) << "replacing " << replaced;
    }
    const std::vector<std::string> textsIn = PageTexts(In());
    const std::vector<std::string> textsOut = PageTexts(out);
    ASSERT_FALSE(textsOut.empty());
    if (textsIn.empty()) return;
    const std::map<char32_t, int> before = CharacterCounts(textsIn[0]);
    const std::map<char32_t, int> after = CharacterCounts(textsOut[0]);
    std::u32string lost;
    for (const auto& [ch, count] : before) {
        const auto kept = after.find(ch);
        if (kept == after.end() || kept->second < count) lost += ch;
    }
    EXPECT_TRUE(lost.empty()) << "replacing " << replaced << " loses " << lost.size() << " characters of:\n"
                              << textsIn[0] << "\nnow:\n" << textsOut[0];
}

INSTANTIATE_TEST_SUITE_P(Folders, SavedCorpusFile, ::testing::ValuesIn(CorpusFiles()),
                         [](const ::testing::TestParamInfo<TCorpusFile>& param) {
                             std::string name = param.param.folder + "_";
                             for (char ch : param.param.name.substr(0, param.param.name.size() - 4))
                                 name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             return name;
                         });

}  // namespace

// Every PDF file of the corpus folders is saved by glyphwell-cli as a user
// would save it, and the saved file is checked by independent tools: with
// nothing replaced nothing may be lost (qpdf finds nothing new, poppler sees
// the same pages, sizes, text and pixels); with a font of page 1 replaced
// by an added TrueType font, page 1 draws with an embedded subset of it and
// keeps its text. A file put into one of the folders joins the test by
// itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <regex>
#include <set>

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

class SavedCorpusFile : public ::testing::TestWithParam<TCorpusFile> {
protected:
    std::string In() const { return DataPath(GetParam().folder + "/" + GetParam().name); }
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

    const TRenderDiff render = CompareRenderings(In(), out, dir);
    EXPECT_EQ(render.problem, "");
    EXPECT_LE(render.maxPixelDiff, 16);
}

TEST_P(SavedCorpusFile, AddedFontReplacingAFontOfPageOneIsEmbeddedOnPageOne) {
    // A font of page 1 as the program lists it, in a file that opens.
    std::string replaced;
    {
        auto opened = OpenHeadless(In(), false);
        if (!opened->OpenErrors().empty()) GTEST_SKIP() << "does not open: " << opened->AllMessages();
        for (const TFontRecord& font : opened->doc.fontList)
            if (!font.hidden && font.pageIndex == 0 && !font.resName.empty()) {
                replaced = Cp1252ToUtf8(font.resName);
                break;
            }
    }
    if (replaced.empty()) GTEST_SKIP() << "page 1 has no font to replace";
    const std::string out = Scratch("replaced") + "/out.pdf";
    const TToolResult save = RunTool(Quoted(CliPath()) + " save " + Quoted(In()) + " -o " + Quoted(out) +
                                     " --json --add-font 'Liberation Sans' --replace '1:" + replaced +
                                     "=/LiberationSans'");
    ASSERT_EQ(save.status, 0) << save.output;
    if (QpdfCheck(In()).status != 2) {
        EXPECT_NE(QpdfCheck(out).status, 2);
    }
    const TToolResult fonts = RunTool("pdffonts -f 1 -l 1 " + Quoted(out));
    EXPECT_EQ(fonts.status, 0) << fonts.output;
    EXPECT_TRUE(std::regex_search(fonts.output, std::regex("[A-Z]{6}\\+LiberationSans +TrueType +\\S+ +yes yes yes")))
        << "replacing " << replaced << ":\n" << fonts.output;
    // The new font keeps the old one's encoding: page 1's text is what it
    // was, unless the report says that characters are missing or that the
    // old encoding lives in a font program that is not read.
    const bool faithful = save.output.find("\"symbolic\": false, \"encodingGuessed\": false, \"missing\": []") !=
                          std::string::npos;
    if (faithful) {
        const std::vector<std::string> textsIn = PageTexts(In());
        const std::vector<std::string> textsOut = PageTexts(out);
        ASSERT_FALSE(textsIn.empty());
        ASSERT_EQ(textsOut.size(), textsIn.size());
        EXPECT_EQ(textsOut[0], textsIn[0]) << "replacing " << replaced;
    }
}

INSTANTIATE_TEST_SUITE_P(Folders, SavedCorpusFile, ::testing::ValuesIn(CorpusFiles()),
                         [](const ::testing::TestParamInfo<TCorpusFile>& param) {
                             std::string name = param.param.folder + "_";
                             for (char ch : param.param.name.substr(0, param.param.name.size() - 4))
                                 name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             return name;
                         });

}  // namespace

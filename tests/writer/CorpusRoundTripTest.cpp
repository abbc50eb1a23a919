// Every corpus file that opens is saved and checked by the usual PDF tools:
// with nothing replaced nothing may be lost; with page 1's first font
// replaced by an added TrueType font the new font is in the pages'
// resources and page 1 still has its text.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cctype>
#include <cstdio>

#include "AddedFonts.h"
#include "PdfWriter.h"
#include "TestSupport.h"

namespace {

struct TToolResult {
    int status = -1;
    std::string output;
};

TToolResult RunTool(const std::string& command) {
    TToolResult result;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return result;
    char buf[4096];
    size_t got;
    while ((got = std::fread(buf, 1, sizeof buf, pipe)) > 0) result.output.append(buf, got);
    const int raw = pclose(pipe);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return result;
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// The text of every page (or of the pages given), as pdftotext separates
// pages by form feeds.
std::vector<std::string> SplitPages(const std::string& text) {
    std::vector<std::string> pages;
    size_t start = 0, ff;
    while ((ff = text.find('\f', start)) != std::string::npos) {
        pages.push_back(text.substr(start, ff - start));
        start = ff + 1;
    }
    return pages;
}

std::vector<std::string> PageTexts(const std::string& path, const std::string& range = "") {
    return SplitPages(RunTool("pdftotext -q " + range + Quoted(path) + " -").output);
}

// Both files' texts, extracted side by side: the tool is the slow part.
std::pair<std::vector<std::string>, std::vector<std::string>> PageTextsOfBoth(const std::string& a,
                                                                               const std::string& b) {
    FILE* pipeA = popen(("pdftotext -q " + Quoted(a) + " - 2>/dev/null").c_str(), "r");
    FILE* pipeB = popen(("pdftotext -q " + Quoted(b) + " - 2>/dev/null").c_str(), "r");
    std::string texts[2];
    FILE* pipes[2] = {pipeA, pipeB};
    for (int i = 0; i < 2; ++i) {
        if (!pipes[i]) continue;
        char buf[4096];
        size_t got;
        while ((got = std::fread(buf, 1, sizeof buf, pipes[i])) > 0) texts[i].append(buf, got);
        pclose(pipes[i]);
    }
    return {SplitPages(texts[0]), SplitPages(texts[1])};
}

int PdfinfoPages(const std::string& path) {
    const std::string info = RunTool("pdfinfo " + Quoted(path)).output;
    const size_t at = info.find("Pages:");
    return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + 6);
}

std::vector<TManifestRow> OpenableFiles() {
    std::vector<TManifestRow> rows;
    for (const TManifestRow& row : LoadManifest())
        if (row.expected == "open" || row.expected == "open-with-warnings") rows.push_back(row);
    return rows;
}

class CorpusRoundTrip : public ::testing::TestWithParam<TManifestRow> {};

TEST_P(CorpusRoundTrip, NothingReplacedLosesNothing) {
    const TManifestRow& row = GetParam();
    const std::string in = CorpusPath(row.file);
    const std::string out = ScratchDir("roundtrip-" + row.file) + "/out.pdf";
    auto h = OpenHeadless(in, false);
    ASSERT_GT(h->doc.pageList.Count(), 0) << h->AllMessages();
    const size_t messagesBefore = h->ui.messages.size();
    h->ui.saveFileName = out;
    ASSERT_TRUE(SavePdfCommand(h->doc)) << h->AllMessages();
    EXPECT_EQ(h->ui.messages.size(), messagesBefore) << h->AllMessages();
    EXPECT_EQ(h->doc.pageList.Count(), row.pages);

    // qpdf's exit status: 0 clean, 2 errors, 3 warnings. A warning the
    // original already has (an empty object, say) travels with the copy.
    const TToolResult checkOut = RunTool("qpdf --check " + Quoted(out));
    if (checkOut.status != 0) {
        EXPECT_EQ(checkOut.status, RunTool("qpdf --check " + Quoted(in)).status) << checkOut.output;
    }
    EXPECT_EQ(PdfinfoPages(out), PdfinfoPages(in));
    const auto [textsOut, textsIn] = PageTextsOfBoth(out, in);
    EXPECT_EQ(textsOut.size(), static_cast<size_t>(row.pages));
    EXPECT_EQ(textsOut, textsIn);
}

TEST_P(CorpusRoundTrip, FirstFontOfPageOneReplacedByAnAddedTrueTypeFont) {
    const TManifestRow& row = GetParam();
    const std::string in = CorpusPath(row.file);
    const std::string out = ScratchDir("replaced-" + row.file) + "/out.pdf";
    auto h = OpenHeadless(in, false);
    TPdfDocument& doc = h->doc;
    ASSERT_GT(doc.pageList.Count(), 0);
    const auto added = AddTrueTypeFont(doc, "Liberation Sans", false, false);
    ASSERT_TRUE(added.has_value()) << "fonts-liberation2 is needed";
    std::string replaced;
    for (TFontRecord& font : doc.fontList) {
        if (font.hidden || font.pageIndex != 0) continue;
        font.replacementName = *added;
        replaced = font.resName;
        break;
    }
    std::vector<uint8_t> pagesWithResources;
    for (const TPageRecord& page : doc.pageList) pagesWithResources.push_back(page.hasResources);
    h->ui.saveFileName = out;
    ASSERT_TRUE(SavePdfCommand(doc)) << h->AllMessages();

    // Read again by the save: every page that had resources of its own now
    // lists the added font. (Pages that only inherit the root's indirect
    // resources have no fonts the user could replace, and get none.)
    ASSERT_EQ(doc.pageList.Count(), static_cast<int32_t>(pagesWithResources.size()));
    std::vector<uint8_t> hasAdded(pagesWithResources.size(), 0);
    for (const TFontRecord& font : doc.fontList)
        if (font.resName == *added && font.pageIndex >= 0 && font.pageIndex < doc.pageList.Count())
            hasAdded[static_cast<size_t>(font.pageIndex)] = 1;
    for (size_t i = 0; i < hasAdded.size(); ++i)
        if (pagesWithResources[i]) {
            EXPECT_TRUE(hasAdded[i]) << "page " << i + 1;
        }

    if (pagesWithResources[0]) {
        const TToolResult fonts = RunTool("pdffonts -f 1 -l 1 " + Quoted(out));
        EXPECT_NE(fonts.output.find("Liberation Sans                      TrueType"), std::string::npos)
            << fonts.output;
    }
    if (!replaced.empty()) {
        const std::vector<std::string> texts = PageTexts(out, "-f 1 -l 1 ");
        ASSERT_FALSE(texts.empty());
        EXPECT_GT(texts[0].size(), 1u) << "page 1 lost its text after replacing " << replaced;
    }
    EXPECT_NE(RunTool("qpdf --check " + Quoted(out)).status, 2);
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusRoundTrip, ::testing::ValuesIn(OpenableFiles()),
                         [](const ::testing::TestParamInfo<TManifestRow>& param) {
                             std::string name;
                             for (char ch : param.param.file.substr(0, param.param.file.size() - 4))
                                 name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             return name;
                         });

}  // namespace

// Every corpus file that opens is saved and checked by the usual PDF tools:
// with nothing replaced nothing may be lost; with page 1's first font
// replaced by an added TrueType font, page 1 draws with an embedded subset
// of it and still has its text.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cctype>
#include <cstdio>
#include <regex>

#include "AddedFonts.h"
#include "PdfWriter.h"
#include "ReplacementFonts.h"
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

TEST_P(CorpusRoundTrip, FirstFontOfPageOneReplacedByAnEmbeddedTrueTypeFont) {
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
    const std::vector<TReplacementReport> reports = DescribeReplacements(doc);
    h->ui.saveFileName = out;
    ASSERT_TRUE(SavePdfCommand(doc)) << h->AllMessages();
    EXPECT_NE(RunTool("qpdf --check " + Quoted(out)).status, 2);
    if (replaced.empty()) return;

    // Page 1 now draws with an embedded subset of Liberation Sans, which
    // keeps the replaced font's encoding: its text is what it was, unless
    // the font's codes named characters Liberation Sans lacks or its
    // encoding lives in a font program we do not read.
    ASSERT_EQ(reports.size(), 1u);
    const TToolResult fonts = RunTool("pdffonts -f 1 -l 1 " + Quoted(out));
    EXPECT_TRUE(std::regex_search(fonts.output, std::regex("[A-Z]{6}\\+LiberationSans +TrueType +\\S+ +yes yes yes")))
        << fonts.output;
    const std::vector<std::string> texts = PageTexts(out, "-f 1 -l 1 ");
    ASSERT_FALSE(texts.empty());
    EXPECT_GT(texts[0].size(), 1u) << "page 1 lost its text after replacing " << replaced;
    if (reports[0].missing.empty() && !reports[0].symbolic && !reports[0].builtInGuessed) {
        EXPECT_EQ(texts, PageTexts(in, "-f 1 -l 1 ")) << "replacing " << replaced;
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusRoundTrip, ::testing::ValuesIn(OpenableFiles()),
                         [](const ::testing::TestParamInfo<TManifestRow>& param) {
                             std::string name;
                             for (char ch : param.param.file.substr(0, param.param.file.size() - 4))
                                 name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             return name;
                         });

}  // namespace

// glyphwell-cli embed on the hand-made files of tests/data/embed, checked by
// rendering: a glyph that is no longer drawn takes its ink away, which
// pdftotext (reading /ToUnicode) cannot see.
#include <gtest/gtest.h>

#include <iterator>
#include <regex>
#include <sstream>

#include "SavedFileChecks.h"

namespace {

struct TEmbedRun {
    TToolResult result;
    std::string out;
};

TEmbedRun Embed(const std::string& file, const std::string& options = "") {
    const std::string in = DataPath("embed/" + file);
    TEmbedRun run;
    run.out = ScratchDir("embed-cli-" + file) + "/out.pdf";
    run.result = RunTool(Quoted(CliPath()) + " embed " + options + " " + Quoted(in) + " -o " + Quoted(run.out) +
                         " 2>&1");
    return run;
}

// Fonts pdffonts lists as not embedded, Type 3 fonts aside.
std::string NotEmbedded(const std::string& path) {
    std::string names;
    const std::regex line(R"(^(\S+)\s+(Type 1C|Type 1|TrueType|CID \S+( \S+)?)\s+\S+\s+no\s+(yes|no)\s+(yes|no)\s+\d+\s+\d+\s*$)");
    std::istringstream lines(ToolOutput("pdffonts " + Quoted(path)));
    std::string row;
    while (std::getline(lines, row)) {
        std::smatch m;
        if (std::regex_match(row, m, line)) names += m[1].str() + " ";
    }
    return names;
}

// The groff/mom slide deck: every page's content only draws a form, and
// neither page nor form has resources of its own. The subsets must hold
// every letter the forms draw, at any depth.
TEST(EmbedCli, FormsWithoutResourcesKeepEveryGlyph) {
    const std::string in = DataPath("embed/form-deck-inherited.pdf");
    const TEmbedRun run = Embed("form-deck-inherited.pdf");
    ASSERT_EQ(run.result.status, 0) << run.result.output;
    EXPECT_EQ(NotEmbedded(run.out), "");
    EXPECT_EQ(PageTexts(run.out), PageTexts(in));
    const std::string scratch = ScratchDir("embed-cli-deck-ink");
    const std::vector<int64_t> before = PageInk(in, scratch), after = PageInk(run.out, scratch);
    ASSERT_EQ(before.size(), 3u);
    ASSERT_EQ(after.size(), before.size());
    for (size_t page = 0; page < before.size(); ++page) {
        ASSERT_GT(before[page], 10000) << page;
        const double ratio = static_cast<double>(after[page]) / static_cast<double>(before[page]);
        EXPECT_GE(ratio, 0.85) << "page " << page + 1;
        EXPECT_LE(ratio, 1.18) << "page " << page + 1;
    }
}

// A content stream that breaks off is copied byte for byte: what other
// readers decode of it beyond the damage is not lost. Its fonts are
// replaced where they stand.
TEST(EmbedCli, DamagedContentIsCopiedAsItIs) {
    const std::string in = DataPath("embed/damaged-flate-content.pdf");
    const TEmbedRun run = Embed("damaged-flate-content.pdf");
    ASSERT_EQ(run.result.status, 0) << run.result.output;
    EXPECT_EQ(NotEmbedded(run.out), "");
    const auto raw = [](const std::string& path) {
        return ToolOutput("qpdf --show-object=6 --raw-stream-data " + Quoted(path));
    };
    ASSERT_FALSE(raw(in).empty());
    EXPECT_EQ(raw(run.out), raw(in));
    EXPECT_EQ(PageTexts(run.out), PageTexts(in));
}

// Without a metric-compatible face each font gets the closest one of its
// class and keeps its widths; the report says so, and the status is 6.
// --strict leaves such fonts as they are.
TEST(EmbedCli, SimilarFacesAreReportedAndStrictKeepsTheFonts) {
    const TEmbedRun dry = Embed("no-metric-twin.pdf", "--dry-run --json");
    EXPECT_EQ(dry.result.status, 6) << dry.result.output;
    const std::string& json = dry.result.output;
    const std::regex substitute(R"("action": "substitute")");
    EXPECT_EQ(std::distance(std::sregex_iterator(json.begin(), json.end(), substitute), std::sregex_iterator()), 8)
        << json;
    EXPECT_NE(json.find(R"("font": "Monaco", "pages": [1], "action": "substitute", "replacement": "Nimbus Mono PS", )"
                        R"("face": "Nimbus Mono PS", "metricCompatible": false, "embedded": true, "keptWidths": true, )"
                        R"("missing": [])"),
              std::string::npos)
        << json;
    // Arial Narrow's metric twin is an OpenType font with CFF outlines.
    EXPECT_NE(json.find(R"("font": "ArialNarrow", "pages": [1], "action": "proposal", "replacement": "Nimbus Sans Narrow")"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find(R"("font": "Verdana,Bold", "pages": [1], "action": "substitute")"), std::string::npos);
    EXPECT_EQ(json.find("no-good-match"), std::string::npos);

    const TEmbedRun written = Embed("no-metric-twin.pdf");
    EXPECT_EQ(written.result.status, 6);
    EXPECT_NE(written.result.output.find("Tahoma (Seite 1): ähnliche Schriftart: "), std::string::npos)
        << written.result.output;
    EXPECT_EQ(NotEmbedded(written.out), "");

    const TEmbedRun strict = Embed("no-metric-twin.pdf", "--strict");
    EXPECT_EQ(strict.result.status, 6);
    EXPECT_NE(strict.result.output.find("Tahoma (Seite 1): keine gute Entsprechung"), std::string::npos);
    EXPECT_NE(NotEmbedded(strict.out).find("Tahoma"), std::string::npos);
}

// The interactive form's default fonts are embedded with every character
// of their encoding, also the one no page uses.
TEST(EmbedCli, DefaultFontsOfTheFormAreEmbedded) {
    const TEmbedRun run = Embed("acroform-default-font.pdf", "--json");
    ASSERT_EQ(run.result.status, 0) << run.result.output;
    EXPECT_NE(run.result.output.find(R"("font": "Times-Roman", "pages": [], "action": "proposal", "formDefault": true)"),
              std::string::npos)
        << run.result.output;
    const std::string dr = ToolOutput("qpdf --show-object=8 " + Quoted(run.out));
    EXPECT_NE(dr.find("/FontDescriptor"), std::string::npos) << dr;
    EXPECT_NE(dr.find("/LastChar 255"), std::string::npos) << dr;
}

// The 14 standard fonts of a Ghostscript file, none embedded, come out as
// their URW clones (OpenType with CFF outlines, written as Type 1C), the
// symbol fonts too: every page renders as the original does, where
// poppler draws the standard fonts with those same clones.
TEST(EmbedCli, TheStandardFontsAreEmbeddedAsTheirUrwClones) {
    const std::string in = CorpusPath("gs-std14-v12.pdf");
    const std::string out = ScratchDir("embed-cli-std14") + "/out.pdf";
    const TToolResult result =
        RunTool(Quoted(CliPath()) + " embed " + Quoted(in) + " -o " + Quoted(out) + " 2>&1");
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(NotEmbedded(out), "");
    const std::string fonts = ToolOutput("pdffonts " + Quoted(out));
    for (const char* clone : {"StandardSymbolsPS", "D050000L", "NimbusRoman-Regular", "NimbusSans-BoldItalic",
                              "NimbusMonoPS-Bold"}) {
        const std::regex row(std::string(R"((^|\n)[A-Z]{6}\+)") + clone + R"(\s+Type 1C\s+\S+\s+yes\s+yes\s+yes\s)");
        EXPECT_TRUE(std::regex_search(fonts, row)) << clone << "\n" << fonts;
    }
    EXPECT_EQ(PageTexts(out), PageTexts(in));
    const TRenderDiff diff = CompareRenderings(in, out, ScratchDir("embed-cli-std14-render"), 72, 3);
    ASSERT_EQ(diff.problem, "");
    ASSERT_EQ(diff.differingShare.size(), 3u);
    for (size_t page = 0; page < diff.differingShare.size(); ++page)
        EXPECT_LT(diff.differingShare[page], 0.005) << "page " << page + 1;
}

}  // namespace

namespace {

// Two pages drawing with one Helvetica object whose "N 0 obj" stands far
// in front of its dictionary; `gap` blank bytes lie between. Classic table.
std::string SharedFontFile(size_t gap) {
    const std::string content = "BT /F1 24 Tf 72 700 Td (Glyphs kept in place) Tj ET";
    const std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R 6 0 R] /Count 2 /MediaBox [0 0 612 792] >>",
        "<< /Type /Page /Parent 2 0 R /Resources << /Font << /F1 4 0 R >> >> /Contents 5 0 R >>",
        std::string(gap / 2, ' ') + std::string(gap - gap / 2, '\n') +
            "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
        "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream",
        "<< /Type /Page /Parent 2 0 R /Resources << /Font << /F1 4 0 R >> >> /Contents 5 0 R >>",
    };
    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (const size_t offset : offsets) {
        const std::string digits = std::to_string(offset);
        pdf += std::string(10 - digits.size(), '0') + digits + " 00000 n \n";
    }
    return pdf + "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
}

}  // namespace

// A font every page shares is replaced where it stands, under its own
// number, however many blanks its header leaves before the dictionary; the
// pages and their content stay as they are.
TEST(EmbedCli, ASharedFontIsReplacedInItsOwnObject) {
    for (const size_t gap : {size_t{0}, size_t{700}}) {
        const std::string scratch = ScratchDir("embed-cli-shared-" + std::to_string(gap));
        const std::string in = scratch + "/in.pdf", out = scratch + "/out.pdf";
        WriteFileBytes(in, SharedFontFile(gap));
        const TToolResult run =
            RunTool(Quoted(CliPath()) + " embed " + Quoted(in) + " -o " + Quoted(out) + " 2>&1");
        ASSERT_EQ(run.status, 0) << gap << ": " << run.output;
        EXPECT_EQ(NotEmbedded(out), "") << gap;
        EXPECT_EQ(RunTool("qpdf --check " + Quoted(out) + " >/dev/null 2>&1").status, 0) << gap;
        // One font, the old object: pdffonts names its number.
        const std::string fonts = ToolOutput("pdffonts " + Quoted(out));
        const std::regex row(R"(\n\S+\+NimbusSans-Regular\s+Type 1C\s+WinAnsi\s+yes\s+yes\s+\S+\s+4\s+0(\s|$))");
        EXPECT_TRUE(std::regex_search(fonts, row)) << gap << ":\n" << fonts;
        EXPECT_EQ(PageTexts(out), PageTexts(in)) << gap;
        const std::vector<int64_t> before = PageInk(in, scratch), after = PageInk(out, scratch);
        ASSERT_EQ(after.size(), 2u) << gap;
        for (size_t page = 0; page < after.size(); ++page) {
            const double ratio = static_cast<double>(after[page]) / static_cast<double>(before[page]);
            EXPECT_GE(ratio, 0.85) << gap << " page " << page + 1;
            EXPECT_LE(ratio, 1.18) << gap << " page " << page + 1;
        }
    }
}

// glyphwell-cli tells where each font is used, in `fonts --json` for the
// records and in `runs --json` for the font of every run, in the same words.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"

namespace {

std::string CliJson(const std::string& command, const std::string& path) {
    const TToolResult result = RunTool(Quoted(GW_CLI_PATH) + " " + command + " --json " + Quoted(path),
                                       TToolStreams::OutputOnly);
    EXPECT_EQ(result.status, 0) << command;
    return result.output;
}

// The run lines of `runs --json` (one run per line).
std::string RunLine(const std::string& runs, int32_t pageNo, const std::string& text) {
    const std::string page = "{\"page\": " + std::to_string(pageNo) + ",";
    const std::string textField = "\"text\": \"" + text + "\"}";
    size_t start = 0;
    for (size_t end; (end = runs.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = runs.substr(start, end - start);
        if (line.find(page) != std::string::npos && line.find(textField) != std::string::npos) return line;
    }
    return {};
}

}  // namespace

TEST(CliUsage, RunsAndFontsSayWhereTheFontIsUsed) {
    const std::string path = ScratchDir("cli-usage") + "/forms.pdf";
    WriteFileBytes(path, FormsDocument());
    const std::string runs = CliJson("runs", path);
    const std::string fonts = CliJson("fonts", path);
    struct TCase {
        int32_t pageNo;
        const char* text;
        const char* font;
        const char* usedIn;
    } const cases[] = {
        {1, "Page A", "/Fx", "{\"content\": true}"},
        {1, "BBB", "/Fx", "{\"form\": \"/Fm0\"}"},
        {1, "Stamped", "/FT", "{\"annotation\": 9}"},
        {2, "Nested", "/Fx", "{\"form\": \"/Fm0\"}"},
        {2, "On", "/FT", "{\"annotation\": 12}"},
    };
    for (const TCase& test : cases) {
        SCOPED_TRACE(test.text);
        const std::string line = RunLine(runs, test.pageNo, test.text);
        ASSERT_FALSE(line.empty()) << runs;
        EXPECT_NE(line.find(std::string("\"font\": \"") + test.font + "\""), std::string::npos) << line;
        EXPECT_NE(line.find(std::string("\"usedIn\": ") + test.usedIn + ","), std::string::npos) << line;
        // The record the run names is listed for its page with the same words.
        const std::string record = "{\"page\": " + std::to_string(test.pageNo) + ", \"resource\": \"" + test.font + "\"";
        bool listed = false;
        for (size_t at = fonts.find(record); at != std::string::npos && !listed; at = fonts.find(record, at + 1))
            listed = fonts.compare(fonts.find("\"usedIn\": ", at) + 10, std::string(test.usedIn).size(), test.usedIn) == 0;
        EXPECT_TRUE(listed) << fonts;
    }
}

TEST(CliUsage, ARunWhoseFontHasNoRecordSaysNull) {
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Resources << /Font << /F1 5 0 R >> >> "
                "/Contents 4 0 R >>");
    b.Stream(4, "", "BT /F1 10 Tf (Known) Tj /F9 10 Tf (Unknown) Tj ET");
    b.Object(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    b.Trailer("/Root 1 0 R");
    const std::string runs = CliJson("runs", b.WriteTo("unknown-font.pdf"));
    EXPECT_NE(RunLine(runs, 1, "Known").find("\"usedIn\": {\"content\": true},"), std::string::npos) << runs;
    EXPECT_NE(RunLine(runs, 1, "Unknown").find("\"usedIn\": null,"), std::string::npos) << runs;
}

TEST(CliUsage, AnEncodingWrittenInTheFontDictionaryKeepsItsBaseAndDifferences) {
    // /Encoding << /BaseEncoding /WinAnsiEncoding /Differences [129 /fi /fl /bullet] >>
    // written in the font dictionary of /F8: \200 is the base's Euro.
    const std::string path = CorpusPath("reportlab-a85-flate-annots-v14.pdf");
    const std::string runs = CliJson("runs", path);
    EXPECT_NE(RunLine(runs, 1, "Own encoding: € fi fl • äöü"), "") << runs;
    const std::string fonts = CliJson("fonts", path);
    const size_t record = fonts.find("{\"page\": 1, \"resource\": \"/F8\"");
    ASSERT_NE(record, std::string::npos) << fonts;
    const std::string entry = fonts.substr(record, fonts.find("\"charSet\"", record) - record);
    EXPECT_NE(entry.find("\"encoding\": 2,"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\"differences\": 1,"), std::string::npos) << entry;
}

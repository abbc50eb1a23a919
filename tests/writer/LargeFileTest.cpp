// Files past 2 GiB: positions are 64-bit from the object table to the saved
// file's cross-reference table. The file is built sparsely in a temporary
// folder (a stream of zeros that takes no disk space), so the test is quick.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

constexpr int64_t kTwoGiB = int64_t{1} << 31;

class TTempFolder {
public:
    TTempFolder() {
        std::string pattern = (fs::temp_directory_path() / "gw-large-XXXXXX").string();
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TTempFolder() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

}  // namespace

TEST(LargeFile, OpensAndSavesAFilePastTwoGibibytes) {
    TTempFolder folder;
    ASSERT_FALSE(folder.Path().empty());
    const std::string input = folder.Path() + "/large.pdf";
    // Every object but the catalog stands past 2^31.
    const int64_t pageOffset = WriteSparsePdf(input, kTwoGiB + (int64_t{1} << 20), 2);
    ASSERT_GT(pageOffset, kTwoGiB);

    {
        const auto opened = OpenHeadless(input);
        TPdfDocument& doc = opened->doc;
        ASSERT_EQ(doc.LastOpen().outcome, TOpenResult::Opened) << opened->AllMessages();
        ASSERT_EQ(doc.pageList.Count(), 2);
        EXPECT_EQ(doc.Table()[5].offset, pageOffset);
        ASSERT_EQ(doc.fontList.Count(), 2);
        EXPECT_EQ(doc.fontList[1].baseFont, "/Helvetica");
        const std::vector<uint8_t> content = doc.PageContent(1);
        EXPECT_NE(std::string(content.begin(), content.end()).find("(Seite 2)"), std::string::npos);
    }

    const std::string output = folder.Path() + "/saved.pdf";
    const TToolResult saved = RunTool(Quoted(GW_CLI_PATH) + " save " + Quoted(input) + " -o " + Quoted(output));
    ASSERT_EQ(saved.status, 0) << saved.output;
    EXPECT_GT(static_cast<int64_t>(fs::file_size(output)), kTwoGiB);
    EXPECT_EQ(ToolOutput("qpdf --show-npages " + Quoted(output)), "2\n");
    EXPECT_NE(ToolOutput("pdftotext -f 2 -l 2 " + Quoted(output) + " -").find("Seite 2"), std::string::npos);
}

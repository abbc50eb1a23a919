// Files past 2 GiB: positions are 64-bit from the object table to the saved
// file's cross-reference table. The file is built sparsely in a temporary
// folder (a stream of zeros that takes no disk space), so the test is quick.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

constexpr int64_t kTwoGiB = int64_t{1} << 31;
// The padding stream puts every object behind it past 2^31.
constexpr int64_t kPadding = kTwoGiB + (int64_t{1} << 20);

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

std::string Padded(int64_t value, size_t width) {
    std::string digits = std::to_string(value);
    return std::string(width > digits.size() ? width - digits.size() : 0, '0') + digits;
}

// A one-page file whose page, font and content objects stand behind a
// padding stream of kPadding zero bytes; returns the offset of the page.
int64_t WriteSparsePdf(const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    std::vector<int64_t> offsets(7, 0);
    auto object = [&](int num, const std::string& body) {
        offsets[static_cast<size_t>(num)] = static_cast<int64_t>(out.tellp());
        out << num << " 0 obj\n" << body << "\nendobj\n";
    };
    out << "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    offsets[6] = static_cast<int64_t>(out.tellp());
    out << "6 0 obj\n<< /Length " << kPadding << " >>\nstream\n";
    // Seeking past the end leaves a hole that reads as zeros.
    out.seekp(kPadding, std::ios::cur);
    out << "\nendstream\nendobj\n";
    object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /Font << /F1 4 0 R >> >> "
              "/Contents 5 0 R >>");
    object(4, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    const std::string content = "BT /F1 24 Tf 72 700 Td (Past two gigabytes) Tj ET";
    object(5, "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream");
    const int64_t xref = static_cast<int64_t>(out.tellp());
    out << "xref\n0 7\n0000000000 65535 f \n";
    for (int num = 1; num <= 6; ++num) out << Padded(offsets[static_cast<size_t>(num)], 10) << " 00000 n \n";
    out << "trailer\n<< /Size 7 /Root 1 0 R >>\nstartxref\n" << xref << "\n%%EOF\n";
    return offsets[3];
}

}  // namespace

TEST(LargeFile, OpensAndSavesAFilePastTwoGibibytes) {
    TTempFolder folder;
    ASSERT_FALSE(folder.Path().empty());
    const std::string input = folder.Path() + "/large.pdf";
    const int64_t pageOffset = WriteSparsePdf(input);
    ASSERT_GT(pageOffset, kTwoGiB);
    ASSERT_GT(static_cast<int64_t>(fs::file_size(input)), kTwoGiB);

    {
        const auto opened = OpenHeadless(input);
        TPdfDocument& doc = opened->doc;
        ASSERT_EQ(doc.lastOpenResult, TOpenResult::Opened) << opened->AllMessages();
        ASSERT_EQ(doc.pageList.Count(), 1);
        EXPECT_EQ(doc.Table()[3].offset, pageOffset);
        ASSERT_EQ(doc.fontList.Count(), 1);
        EXPECT_EQ(doc.fontList[0].baseFont, "/Helvetica");
        const std::vector<uint8_t> content = doc.PageContent(0);
        EXPECT_NE(std::string(content.begin(), content.end()).find("(Past two gigabytes)"), std::string::npos);
    }

    const std::string output = folder.Path() + "/saved.pdf";
    const TToolResult saved = RunTool(Quoted(GW_CLI_PATH) + " save " + Quoted(input) + " -o " + Quoted(output));
    ASSERT_EQ(saved.status, 0) << saved.output;
    EXPECT_GT(static_cast<int64_t>(fs::file_size(output)), kTwoGiB);
    EXPECT_EQ(ToolOutput("qpdf --show-npages " + Quoted(output)), "1\n");
    EXPECT_NE(ToolOutput("pdftotext " + Quoted(output) + " -").find("Past two gigabytes"), std::string::npos);
}

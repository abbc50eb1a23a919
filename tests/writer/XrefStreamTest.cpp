// Cross-reference streams and object streams as the writer makes them,
// read back by qpdf and by our own reader.
#include <gtest/gtest.h>

#include <regex>

#include "Filters.h"
#include "TestSupport.h"
#include "XrefStream.h"

namespace {

using TKind = TXrefStreamRow::TKind;

// The decoded rows of a cross-reference stream object, predictor undone.
struct TDecodedXref {
    std::vector<int> widths;
    std::string index;
    std::vector<std::vector<uint64_t>> rows;
};

TDecodedXref Decode(const std::string& object) {
    TDecodedXref out;
    std::smatch m;
    EXPECT_TRUE(std::regex_search(object, m, std::regex(R"(/W \[(\d+) (\d+) (\d+)\])")));
    for (int i = 1; i <= 3; ++i) out.widths.push_back(std::stoi(m[i]));
    EXPECT_TRUE(std::regex_search(object, m, std::regex(R"(/Index \[([0-9 ]*)\])")));
    out.index = m[1];
    EXPECT_TRUE(std::regex_search(object, m, std::regex(R"(/Columns (\d+) /Predictor 12)")));
    const size_t start = object.find("stream\n") + 7;
    const size_t end = object.rfind("\nendstream");
    const std::string packed = object.substr(start, end - start);
    const std::vector<uint8_t> plain = FlateDecode(reinterpret_cast<const uint8_t*>(packed.data()), packed.size());
    EXPECT_FALSE(plain.empty());
    const size_t rowBytes = static_cast<size_t>(out.widths[0] + out.widths[1] + out.widths[2]);
    std::vector<uint8_t> previous(rowBytes, 0);
    for (size_t pos = 0; pos + rowBytes + 1 <= plain.size(); pos += rowBytes + 1) {
        EXPECT_EQ(plain[pos], 2) << "every row behind the Up filter";
        std::vector<uint8_t> row(rowBytes);
        for (size_t i = 0; i < rowBytes; ++i) row[i] = static_cast<uint8_t>(plain[pos + 1 + i] + previous[i]);
        previous = row;
        std::vector<uint64_t> fields;
        size_t at = 0;
        for (int w : out.widths) {
            uint64_t v = 0;
            for (int i = 0; i < w; ++i) v = v << 8 | row[at++];
            fields.push_back(v);
        }
        out.rows.push_back(fields);
    }
    return out;
}

struct TWidthCase {
    const char* name;
    std::vector<TXrefStreamRow> rows;
    int64_t selfOffset;
    std::vector<int> widths;
    std::string index;
};

TEST(XrefStream, WidthsIndexAndRows) {
    const std::vector<TWidthCase> cases = {
        {"small offsets", {{0, TKind::Free, 0, 65535}, {1, TKind::AtOffset, 15, 0}, {2, TKind::AtOffset, 200, 0}},
         250, {1, 1, 2}, "0 4"},
        {"generation zero everywhere needs no third column",
         {{1, TKind::AtOffset, 70000, 0}, {2, TKind::AtOffset, 80000, 0}}, 90000, {1, 3, 0}, "1 3"},
        {"objects in a stream and gaps", {{0, TKind::Free, 0, 65535}, {4, TKind::InObjectStream, 9, 0},
                                          {5, TKind::InObjectStream, 9, 1}, {9, TKind::AtOffset, 1000, 0}},
         5000, {1, 2, 2}, "0 1 4 2 9 2"},
        {"past four gigabytes", {{1, TKind::AtOffset, int64_t{5} << 30, 0}}, (int64_t{5} << 30) + 100, {1, 5, 0},
         "1 2"},
    };
    for (const TWidthCase& c : cases) {
        SCOPED_TRACE(c.name);
        const int64_t selfNum = c.rows.back().objNum + 1;
        const std::string object = XrefStreamObject(selfNum, c.selfOffset, c.rows, {"/Root 1 0 R"});
        const TDecodedXref decoded = Decode(object);
        EXPECT_EQ(decoded.widths, c.widths);
        EXPECT_EQ(decoded.index, c.index);
        ASSERT_EQ(decoded.rows.size(), c.rows.size() + 1);
        for (size_t i = 0; i < c.rows.size(); ++i) {
            EXPECT_EQ(decoded.rows[i][0], static_cast<uint64_t>(c.rows[i].kind));
            EXPECT_EQ(decoded.rows[i][1], static_cast<uint64_t>(c.rows[i].field2));
            if (c.widths[2] > 0) {
                EXPECT_EQ(decoded.rows[i][2], static_cast<uint64_t>(c.rows[i].field3));
            }
        }
        EXPECT_EQ(decoded.rows.back()[1], static_cast<uint64_t>(c.selfOffset));
        EXPECT_NE(object.find("/Size " + std::to_string(selfNum + 1) + " "), std::string::npos);
        EXPECT_NE(object.find("/Root 1 0 R"), std::string::npos);
    }
}

// A whole file in the compact form: catalog, page tree, page and font in
// one object stream, the content as a plain stream, the table a stream.
std::string CompactFile() {
    std::string file = "%PDF-1.5\n%\xE2\xE3\xCF\xD3\n";
    TObjectStreamBuilder objects;
    objects.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    objects.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    objects.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] /Contents 6 0 R"
                   " /Resources << /Font << /F1 4 0 R >> >> >>");
    objects.Add(4, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    std::vector<TXrefStreamRow> rows = {{0, TKind::Free, 0, 65535}};
    for (int i = 0; i < 4; ++i) rows.push_back({i + 1, TKind::InObjectStream, 5, i});
    rows.push_back({5, TKind::AtOffset, static_cast<int64_t>(file.size()), 0});
    file += objects.TakeObject(5);
    EXPECT_TRUE(objects.Empty());
    const std::string content = "BT /F1 24 Tf 20 100 Td (Kompakt gespeichert) Tj ET";
    rows.push_back({6, TKind::AtOffset, static_cast<int64_t>(file.size()), 0});
    file += "6 0 obj\n<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content +
            "\nendstream\nendobj\n";
    const int64_t xrefPos = static_cast<int64_t>(file.size());
    file += XrefStreamObject(7, xrefPos, rows, {"/Root 1 0 R"});
    file += "startxref\n" + std::to_string(xrefPos) + "\n%%EOF\n";
    return file;
}

TEST(XrefStream, CompactFileIsReadByQpdfPopplerAndOurReader) {
    const std::string path = ScratchDir("xref-stream") + "/compact.pdf";
    WriteFileBytes(path, CompactFile());
    const TToolResult check = RunTool("qpdf --check " + Quoted(path));
    EXPECT_EQ(check.status, 0) << check.output;
    EXPECT_NE(check.output.find("No syntax or stream encoding errors found"), std::string::npos) << check.output;
    const std::string xref = ToolOutput("qpdf --show-xref " + Quoted(path));
    EXPECT_NE(xref.find("3/0: compressed; stream = 5, index = 2"), std::string::npos) << xref;
    EXPECT_NE(xref.find("6/0: uncompressed"), std::string::npos) << xref;
    EXPECT_NE(ToolOutput("pdftotext " + Quoted(path) + " -").find("Kompakt gespeichert"), std::string::npos);

    const auto opened = OpenHeadless(path);
    EXPECT_EQ(opened->doc.lastOpenResult, TOpenResult::Opened) << opened->AllMessages();
    EXPECT_EQ(opened->doc.pageList.Count(), 1);
}

}  // namespace

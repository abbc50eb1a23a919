// Cross-reference streams and object streams as the writer makes them,
// read back by qpdf and by our own reader.
#include <gtest/gtest.h>

#include <regex>

#include "CompactObjects.h"
#include "Filters.h"
#include "ReachableObjects.h"
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
    EXPECT_TRUE(opened->OpenErrors().empty()) << opened->AllMessages();
    EXPECT_EQ(opened->doc.pageList.Count(), 1);
}

struct TRefCase {
    const char* name;
    std::string bytes;
    std::vector<int32_t> refs;
};

TEST(ReachableObjects, ReferencesAreReadOutsideStringsCommentsAndStreamData) {
    const std::vector<TRefCase> cases = {
        {"nested dictionaries and arrays", "5 0 obj\n<< /A 1 0 R /B [2 0 R 3 1 R] /C << /D 4 0 R >> >>\nendobj",
         {1, 2, 3, 4}},
        {"strings, hex strings and comments hide numbers",
         "<< /S (a 7 0 R (nested 8 0 R) \\) 9 0 R) /H <3720302052> % 10 0 R\n /E 11 0 R >>", {11}},
        {"stream data refer to nothing", "<< /Length 6 /F 13 0 R >>\nstream\n14 0 R\nendstream\nendobj", {13}},
        {"text after endobj belongs to the next object", "[1 0 R] endobj 2 0 obj [3 0 R]", {1}},
        {"names and reals are no object numbers", "[/1 0 R 1.0 0 R 2 0 R<</K 3 0 R>>]", {2, 3}},
        {"no blanks around delimiters", "<</P 12 0 R/Q[13 0 R]>>", {12, 13}},
    };
    for (const TRefCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<int32_t> refs;
        ReferencesIn(c.bytes, refs);
        EXPECT_EQ(refs, c.refs);
    }
    std::vector<int32_t> refs;
    ReferencesIn(std::vector<std::string>{"/Resources", "<<", "/Font", "5", "0", "R", "/X", "(6 0 R)", ">>"}, refs);
    EXPECT_EQ(refs, std::vector<int32_t>{5});
}

TEST(ReachableObjects, EachObjectBelongsToTheFirstPageThatReachesIt) {
    // 1 catalog -> 2 (page-tree root, written anew: not read), 9 outlines;
    // the pages 3 and 6 share font 5; page 6's 7 -> 8 -> 4 (page 3's font)
    // and back to 7; 10 is referenced by nothing, 11 only by the old tree.
    const std::map<int32_t, std::string> old = {
        {1, "<< /Type /Catalog /Pages 2 0 R /Outlines 9 0 R >>"},
        {2, "<< /Type /Pages /Kids [11 0 R] >>"},
        {4, "<< /Type /Font >>"},
        {5, "<< /Type /Font >>"},
        {7, "<< /Type /XObject /R 8 0 R >>"},
        {8, "[4 0 R 7 0 R]"},
        {9, "<< /First 3 0 R >>"},
        {10, "<< /Unused true >>"},
        {11, "<< /Type /Pages /Kids [3 0 R 6 0 R] >>"},
    };
    TReachRoots roots;
    roots.pages = {{4, 5}, {5, 7}};
    roots.document = {1};
    roots.notRead.assign(12, 0);
    roots.notRead[2] = roots.notRead[3] = roots.notRead[6] = 1;
    const std::vector<int32_t> owners = ObjectOwners(12, roots, [&](int32_t num) -> std::string_view {
        const auto found = old.find(num);
        return found == old.end() ? std::string_view{} : std::string_view(found->second);
    });
    const std::vector<int32_t> expected = {kUnreached, kDocumentLevel, kDocumentLevel, kDocumentLevel, 0, 0,
                                           kUnreached, 1, 1, kDocumentLevel, kUnreached, kUnreached};
    EXPECT_EQ(owners, expected);
}

// The numbers of `qpdf --show-xref`'s lines of one kind.
std::vector<int> XrefNumbers(const std::string& listing, const std::string& kind) {
    std::vector<int> numbers;
    const std::regex line("(\\d+)/\\d+: " + kind);
    for (auto it = std::sregex_iterator(listing.begin(), listing.end(), line); it != std::sregex_iterator(); ++it)
        numbers.push_back(std::stoi((*it)[1]));
    return numbers;
}

TEST(CompactObjects, StreamsAndOtherGenerationsStayOutsideAndStreamsFillUpToTheirLimit) {
    const std::string path = ScratchDir("compact-objects") + "/placed.pdf";
    TStringSink sink;
    sink.Write("%PDF-1.5\n%\xE2\xE3\xCF\xD3\n");
    int32_t next = 500;
    TCompactObjects objects(sink, [&next] { return next++; });
    objects.Put(1, 0, "1 0 obj\r<< /Type /Catalog /Pages 2 0 R >>\rendobj\r");
    objects.Put(2, 0, "2 0 obj << /Type /Pages /Kids [3 0 R] /Count 1 >> endobj");
    objects.Put(3, 0, "3 0 obj\n<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R >>\nendobj\n");
    objects.Put(4, 0, "4 0 obj\n<< /Length 0 >>\nstream\n\nendstream\nendobj\n");
    objects.Put(5, 3, "5 3 obj (generation three) endobj");
    objects.Put(6, 0, "6 0 obj\n<< /Producer (kompakt) >>\nendobj\n");
    // Numbers 7 to 9 stay free; 10 to 160 fill one stream to its limit and
    // start a second one.
    for (int32_t num = 10; num <= 160; ++num)
        objects.Put(num, 0, std::to_string(num) + " 0 obj [" + std::to_string(num) + "] endobj");
    objects.Finish({"/Root 1 0 R /Info 6 0 R"});
    WriteFileBytes(path, sink.bytes);

    const TToolResult check = RunTool("qpdf --check " + Quoted(path));
    EXPECT_EQ(check.status, 0) << check.output;
    const std::string xref = ToolOutput("qpdf --show-xref " + Quoted(path));
    EXPECT_EQ(XrefNumbers(xref, "uncompressed"), (std::vector<int>{4, 5, 500, 501, 502})) << xref;
    EXPECT_NE(xref.find("1/0: compressed; stream = 500, index = 0"), std::string::npos) << xref;
    EXPECT_NE(xref.find("6/0: compressed; stream = 500, index = 3"), std::string::npos) << xref;
    EXPECT_NE(xref.find("155/0: compressed; stream = 500, index = 149"), std::string::npos) << xref;
    EXPECT_NE(xref.find("156/0: compressed; stream = 501, index = 0"), std::string::npos) << xref;
    EXPECT_NE(ToolOutput("qpdf --show-object=5,3 " + Quoted(path)).find("(generation three)"), std::string::npos);
    EXPECT_NE(ToolOutput("pdfinfo " + Quoted(path)).find("Producer:        kompakt"), std::string::npos);

    // The table itself: every number up to the stream has a row, the gaps free.
    const size_t start = sink.bytes.rfind("502 0 obj");
    ASSERT_NE(start, std::string::npos);
    const TDecodedXref decoded = Decode(sink.bytes.substr(start));
    EXPECT_EQ(decoded.index, "0 503");
    ASSERT_EQ(decoded.rows.size(), 503u);
    for (const size_t free : {0u, 7u, 8u, 9u, 161u, 499u}) EXPECT_EQ(decoded.rows[free][0], 0u) << free;
    EXPECT_EQ(decoded.rows[5][0], 1u);
    EXPECT_EQ(decoded.rows[5][2], 3u) << "the generation of an object outside";
    EXPECT_EQ(decoded.rows[160][0], 2u);
    EXPECT_EQ(decoded.rows[160][1], 501u);
    EXPECT_EQ(decoded.rows[160][2], 4u);
    EXPECT_NE(sink.bytes.find("/Root 1 0 R /Info 6 0 R"), std::string::npos);
    EXPECT_EQ(sink.bytes.substr(sink.bytes.size() - 6), "%%EOF\n");
}

TEST(CompactObjects, ObjectBodyIsTheTextBetweenHeaderAndEndobj) {
    EXPECT_EQ(ObjectBody("12 0 obj\r<< /A 1 >>\rendobj\r"), "<< /A 1 >>");
    EXPECT_EQ(ObjectBody("  7 2 obj(x)endobj"), "(x)");
    EXPECT_FALSE(ObjectBody("12 0 obj << /A 1 >>"));
    EXPECT_FALSE(ObjectBody("obj 1 endobj"));
}

}  // namespace

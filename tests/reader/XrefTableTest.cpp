// The object table: cross-reference streams, object streams, hybrid files,
// repair by scanning, the tolerated syntax variants and encryption, on
// hand-made files and on files qpdf rewrote with object streams.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "Filters.h"
#include "TestSupport.h"

namespace {


const char* const kCatalog = "<< /Type /Catalog /Pages 2 0 R >>";
const char* const kPages = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";
const char* const kPage =
    "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Resources << /Font << /F1 5 0 R >> >> "
    "/Contents 4 0 R >>";
const char* const kFont = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";
const char* const kContent = "BT /F1 12 Tf 10 10 Td (Hallo) Tj ET";

// Assembles a PDF-1.5 file: plain objects at offsets, an object stream
// holding `packed` (number -> body), and a cross-reference stream with PNG
// "Up" rows of widths 1 4 2. `xrefDictExtra` goes into the stream's
// dictionary (e.g. "/Encrypt << ... >>"), `objStmExtra` into the object
// stream's.
struct TModernFile {
    std::map<int32_t, std::string> plain;
    std::map<int32_t, std::string> packed;
    std::string xrefDictExtra;
    std::string objStmExtra;
    int32_t objStmNum = 20;

    std::string Build() const {
        std::string pdf = "%PDF-1.5\n%\xE2\xE3\xCF\xD3\n";
        std::map<int32_t, std::vector<int64_t>> rows;  // num -> type, field2, field3
        for (const auto& [num, body] : plain) {
            rows[num] = {1, static_cast<int64_t>(pdf.size()), 0};
            pdf += std::to_string(num) + " 0 obj\n" + body + "\nendobj\n";
        }
        if (!packed.empty()) {
            std::string header, bodies;
            int64_t index = 0;
            for (const auto& [num, body] : packed) {
                header += std::to_string(num) + " " + std::to_string(bodies.size()) + " ";
                bodies += body + "\n";
                rows[num] = {2, objStmNum, index++};
            }
            const std::string data = Deflate(header + bodies);
            rows[objStmNum] = {1, static_cast<int64_t>(pdf.size()), 0};
            pdf += std::to_string(objStmNum) + " 0 obj\n<< /Type /ObjStm /N " + std::to_string(packed.size()) +
                   " /First " + std::to_string(header.size()) + " /Filter /FlateDecode /Length " +
                   std::to_string(data.size()) + " " + objStmExtra + " >>\nstream\n" + data + "\nendstream\nendobj\n";
        }
        const int32_t xrefNum = rows.rbegin()->first + 1;
        const int64_t xrefPos = static_cast<int64_t>(pdf.size());
        rows[xrefNum] = {1, xrefPos, 0};
        rows[0] = {0, 0, 65535};
        std::string raw;
        std::string previous(7, '\0');
        for (int32_t num = 0; num <= xrefNum; ++num) {
            std::vector<int64_t> fields = rows.count(num) ? rows.at(num) : std::vector<int64_t>{0, 0, 0};
            std::string row(7, '\0');
            row[0] = static_cast<char>(fields[0]);
            for (int b = 0; b < 4; ++b) row[1 + b] = static_cast<char>(fields[1] >> (24 - 8 * b));
            row[5] = static_cast<char>(fields[2] >> 8);
            row[6] = static_cast<char>(fields[2]);
            raw += '\x02';
            for (size_t i = 0; i < 7; ++i) raw += static_cast<char>(row[i] - previous[i]);
            previous = row;
        }
        const std::string data = Deflate(raw);
        pdf += std::to_string(xrefNum) + " 0 obj\n<< /Type /XRef /Size " + std::to_string(xrefNum + 1) +
               " /W [1 4 2] /Root 1 0 R /Filter /FlateDecode /DecodeParms << /Columns 7 /Predictor 12 >> /Length " +
               std::to_string(data.size()) + " " + xrefDictExtra + " >>\nstream\n" + data + "\nendstream\nendobj\n";
        pdf += "startxref\n" + std::to_string(xrefPos) + "\n%%EOF\n";
        return pdf;
    }
};

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

std::string ReplaceLast(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.rfind(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

TModernFile HelloFile() {
    TModernFile file;
    file.plain = {{4, "<< /Length " + std::to_string(std::string(kContent).size()) + " >>\nstream\n" + kContent +
                          "\nendstream"}};
    file.packed = {{1, kCatalog}, {2, kPages}, {3, kPage}, {5, kFont}};
    return file;
}

// A page's decoded content draws "Hallo".
bool ShowsHallo(THeadlessDoc& h) {
    for (int32_t i = 0; i < h.doc.pageList.Count(); ++i) {
        const std::vector<uint8_t> content = h.doc.PageContent(i);
        if (std::string(content.begin(), content.end()).find("(Hallo)") != std::string::npos) return true;
    }
    return false;
}

std::unique_ptr<THeadlessDoc> OpenBytes(const std::string& name, const std::string& pdf) {
    const std::string path = ScratchDir("xref-" + name) + "/" + name;
    WriteFileBytes(path, pdf);
    auto h = std::make_unique<THeadlessDoc>();
    h->doc.openfilenow(path);
    return h;
}

TEST(XrefStream, PagesFontsAndContentLiveInAnObjectStream) {
    auto h = OpenBytes("modern-hello.pdf", HelloFile().Build());
    EXPECT_EQ(h->doc.LastOpen().outcome, TOpenResult::Opened) << h->AllMessages();
    ASSERT_EQ(h->doc.pageList.Count(), 1);
    ASSERT_EQ(h->doc.fontList.Count(), 1);
    EXPECT_EQ(h->doc.fontList[0].resName, "/F1");
    EXPECT_TRUE(ShowsHallo(*h));
    // The containers are structure, not content.
    EXPECT_TRUE(h->doc.Table()[20].structural);
    EXPECT_TRUE(h->doc.Table()[21].structural);
    EXPECT_FALSE(h->doc.Table()[3].structural);
}

TEST(XrefStream, ExtendsAndOddLayoutsStillResolveByTheTable) {
    TModernFile file = HelloFile();
    file.objStmExtra = "/Extends 99 0 R";
    auto h = OpenBytes("modern-extends.pdf", file.Build());
    EXPECT_EQ(h->doc.pageList.Count(), 1) << h->AllMessages();
    EXPECT_TRUE(ShowsHallo(*h));
}

TEST(XrefStream, EncryptInTheStreamDictionaryRefusesAsEncrypted) {
    const char* const encrypts[] = {"/Encrypt << /Filter /Standard /V 1 /R 2 >>", "/Encrypt 4 0 R"};
    for (const char* encrypt : encrypts) {
        TModernFile file = HelloFile();
        file.xrefDictExtra = encrypt;
        auto h = OpenBytes("modern-encrypted.pdf", file.Build());
        EXPECT_EQ(h->doc.LastOpen().outcome, TOpenResult::Encrypted) << encrypt;
        EXPECT_TRUE(h->HasProblem(TOpenProblemKind::Encrypted)) << encrypt;
        EXPECT_EQ(h->doc.pageList.Count(), 0);
    }
}

TEST(XrefStream, IncrementalClassicUpdateOverAStreamWins) {
    // A classic section appended to a modern file: object 3 (the page, in
    // the object stream) is replaced at an offset; the newest section wins.
    std::string pdf = HelloFile().Build();
    const size_t prevPos = std::stoul(pdf.substr(pdf.rfind("startxref") + 10));
    const size_t objPos = pdf.size();
    pdf += "3 0 obj\n" + Replace(kPage, "200 200", "300 400") + "\nendobj\n";
    const size_t xrefPos = pdf.size();
    char entry[32];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", objPos);
    pdf += "xref\n3 1\n" + std::string(entry) + "trailer\n<< /Size 22 /Root 1 0 R /Prev " +
           std::to_string(prevPos) + " >>\nstartxref\n" + std::to_string(xrefPos) + "\n%%EOF\n";
    auto h = OpenBytes("modern-update.pdf", pdf);
    ASSERT_EQ(h->doc.pageList.Count(), 1) << h->AllMessages();
    EXPECT_EQ(h->doc.pageList[0].mediaBox[3], 400);
    EXPECT_TRUE(ShowsHallo(*h));
    EXPECT_EQ(h->doc.LastOpen().outcome, TOpenResult::Opened);
}

TEST(XrefStream, HybridFileReadsTheStreamForWhatTheTableLeavesFree) {
    // The classic table lists only the content stream and marks the packed
    // objects free; /XRefStm points at the stream that knows them.
    TModernFile file = HelloFile();
    std::string pdf = file.Build();
    const size_t xrefStm = std::stoul(pdf.substr(pdf.rfind("startxref") + 10));
    pdf.resize(pdf.rfind("startxref"));
    const size_t contentPos = pdf.find("4 0 obj");
    const size_t tablePos = pdf.size();
    char line[32];
    std::string table = "xref\n0 6\n0000000000 65535 f \n";
    for (int num = 1; num <= 5; ++num) {
        std::snprintf(line, sizeof line, num == 4 ? "%010zu 00000 n \n" : "%010zu 00000 f \n",
                      num == 4 ? contentPos : size_t{0});
        table += line;
    }
    pdf += table + "trailer\n<< /Size 22 /Root 1 0 R /XRefStm " + std::to_string(xrefStm) + " >>\nstartxref\n" +
           std::to_string(tablePos) + "\n%%EOF\n";
    auto h = OpenBytes("hybrid.pdf", pdf);
    EXPECT_EQ(h->doc.LastOpen().outcome, TOpenResult::Opened) << h->AllMessages();
    EXPECT_EQ(h->doc.pageList.Count(), 1);
    EXPECT_TRUE(ShowsHallo(*h));
}

// Files qpdf rewrote with object streams read like their classic originals.
TEST(XrefStream, QpdfObjectStreamFilesMatchTheirOriginals) {
    struct TCase {
        const char* modern;
        const char* classic;
    };
    const TCase cases[] = {
        {"xref/gs-std14-objstm.pdf", "gs-std14-v12.pdf"},
        {"xref/incremental-objstm.pdf", "incremental-update.pdf"},
        {"xref/pdftex-objstm.pdf", "pdftex-camlidl-v12.pdf"},
    };
    for (const TCase& c : cases) {
        auto modern = OpenHeadless(DataPath(c.modern), false);
        auto classic = OpenHeadless(CorpusPath(c.classic), false);
        EXPECT_EQ(modern->doc.LastOpen().outcome, TOpenResult::Opened) << c.modern << modern->AllMessages();
        ASSERT_EQ(modern->doc.pageList.Count(), classic->doc.pageList.Count()) << c.modern;
        std::vector<std::string> modernFonts, classicFonts;
        for (const TFontRecord& font : modern->doc.fontList)
            modernFonts.push_back(std::to_string(font.pageIndex) + font.resName);
        for (const TFontRecord& font : classic->doc.fontList)
            classicFonts.push_back(std::to_string(font.pageIndex) + font.resName);
        std::sort(modernFonts.begin(), modernFonts.end());
        std::sort(classicFonts.begin(), classicFonts.end());
        EXPECT_EQ(modernFonts, classicFonts) << c.modern;
        EXPECT_EQ(modern->doc.info.producer, classic->doc.info.producer) << c.modern;
    }
}

// ---- repair and tolerance on classic files --------------------------------

std::string Classic() { return SimpleDocument({"BT /F1 12 Tf 10 10 Td (Hallo) Tj ET"}); }

TEST(Repair, DamagedTablesAreRebuiltAndSaidSo) {
    struct TCase {
        const char* name;
        std::string pdf;
        TOpenResult result;
    };
    const std::string good = Classic();
    const size_t startxref = good.rfind("startxref");
    const std::string offset = good.substr(startxref + 10, good.find('\n', startxref + 10) - startxref - 10);
    std::string shifted = good;
    // Every entry points 3 bytes off: none holds its object.
    const size_t table = good.find("xref\n");
    for (size_t at = good.find(" 00000 n", table); at != std::string::npos; at = good.find(" 00000 n", at + 1)) {
        const size_t start = at - 10;
        const long value = std::stol(good.substr(start, 10)) + 3;
        char digits[32];
        std::snprintf(digits, sizeof digits, "%010ld", value);
        shifted.replace(start, 10, digits);
    }
    const TCase cases[] = {
        {"startxref beyond the file", ReplaceLast(good, "startxref\n" + offset, "startxref\n99999999"), TOpenResult::Repaired},
        {"startxref at no table", ReplaceLast(good, "startxref\n" + offset, "startxref\n20"), TOpenResult::Repaired},
        {"no startxref", good.substr(0, startxref), TOpenResult::Repaired},
        {"entries off", shifted, TOpenResult::Repaired},
        {"no trailer /Root", Replace(good, "/Root 1 0 R", "           "), TOpenResult::Repaired},
        {"cut in the table", good.substr(0, table + 30), TOpenResult::Repaired},
        {"blank after the startxref number", ReplaceLast(good, offset + "\n", offset + "  \n"), TOpenResult::Opened},
        {"tab before /Root", Replace(good, "/Root", "\t/Root"), TOpenResult::Opened},
        {"comment in the trailer", Replace(good, "/Root", "% a note\n/Root"), TOpenResult::Opened},
        {"no %%EOF", good.substr(0, good.rfind("%%EOF")), TOpenResult::Opened},
        {"junk after %%EOF", good + "\n\x01\x02 junk", TOpenResult::Opened},
    };
    for (const TCase& c : cases) {
        auto h = OpenBytes("repair.pdf", c.pdf);
        EXPECT_EQ(h->doc.LastOpen().outcome, c.result) << c.name << ": " << h->AllMessages();
        EXPECT_EQ(h->doc.pageList.Count(), 1) << c.name;
        EXPECT_TRUE(ShowsHallo(*h)) << c.name;
        EXPECT_EQ(h->HasProblem(TOpenProblemKind::TableRebuilt), c.result == TOpenResult::Repaired) << c.name;
    }
}

TEST(Repair, WhatCannotBeRepairedGetsItsOwnMessage) {
    struct TCase {
        const char* name;
        std::string pdf;
        TOpenProblemKind problem;
    };
    const TCase cases[] = {
        {"empty", "", TOpenProblemKind::EmptyFile},
        {"no header", "Hello, this is text.\n", TOpenProblemKind::NoPdfHeader},
        {"header only", "%PDF-1.4\n", TOpenProblemKind::Damaged},
        {"objects without catalog", "%PDF-1.4\n1 0 obj\n<< /A 1 >>\nendobj\n", TOpenProblemKind::Damaged},
    };
    for (const TCase& c : cases) {
        auto h = OpenBytes("unrepairable.pdf", c.pdf);
        EXPECT_EQ(h->doc.LastOpen().outcome, TOpenResult::Invalid) << c.name;
        EXPECT_EQ(h->OpenErrors(), std::vector<TOpenProblemKind>{c.problem}) << c.name << ": " << h->AllMessages();
        EXPECT_EQ(h->doc.pageList.Count(), 0) << c.name;
    }
}

TEST(Tolerance, MediaBoxOfIndirectValues) {
    struct TCase {
        const char* name;
        const char* box;
        std::map<int32_t, std::string> objects;
        double width, height;
    };
    const TCase cases[] = {
        {"numbers in objects", "[0 0 6 0 R 7 0 R]", {{6, "300"}, {7, "400.5"}}, 300, 400.5},
        {"array in an object", "8 0 R", {{8, "[0 0 250 350]"}}, 250, 350},
        {"array of references in an object", "8 0 R", {{8, "[0 0 6 0 R 7 0 R]"}, {6, "120"}, {7, "80"}}, 120, 80},
        // Unreadable: the page keeps the size it inherits or the default.
        {"reference to nothing", "9 0 R", {}, 595, 842},
    };
    for (const TCase& c : cases) {
        TModernFile file = HelloFile();
        file.packed[3] = Replace(kPage, "[0 0 200 200]", c.box);
        for (const auto& [num, body] : c.objects) file.plain[num] = body;
        auto h = OpenBytes("mediabox.pdf", file.Build());
        ASSERT_EQ(h->doc.pageList.Count(), 1) << c.name << ": " << h->AllMessages();
        const auto& box = h->doc.pageList.begin()->mediaBox;
        EXPECT_DOUBLE_EQ(box[2] - box[0], c.width) << c.name;
        EXPECT_DOUBLE_EQ(box[3] - box[1], c.height) << c.name;
        EXPECT_TRUE(ShowsHallo(*h)) << c.name;
    }
}

// A page tree root the file lost: the page objects of the file, in file
// order, are the pages, as other readers show them.
TEST(Tolerance, LostPageTreeRoot) {
    TModernFile file = HelloFile();
    file.packed.erase(2);
    // A second page, a plain object, so that it stands before the packed one.
    file.plain[7] = Replace(kPage, "/Parent 2 0 R", "/Parent 2 0 R /Rotate 0");
    auto h = OpenBytes("lost-root.pdf", file.Build());
    EXPECT_EQ(h->doc.LastOpen().outcome, TOpenResult::Opened) << h->AllMessages();
    ASSERT_EQ(h->doc.pageList.Count(), 2);
    EXPECT_EQ(h->doc.pageList[0].objNum, 7);
    EXPECT_EQ(h->doc.pageList[1].objNum, 3);
    EXPECT_EQ(h->doc.fontList.Count(), 2);
    EXPECT_TRUE(ShowsHallo(*h));
}

// "stream" followed by a lone carriage return, as some writers end the
// keyword's line: the data start behind it, as qpdf and pdfinfo read them
// (with a warning there). Every stream of each file is written so.
TEST(Tolerance, StreamKeywordEndedByALoneCarriageReturn) {
    const auto loneCr = [](std::string pdf) {
        for (size_t at = pdf.find("stream\n"); at != std::string::npos; at = pdf.find("stream\n", at + 7))
            pdf[at + 6] = '\r';
        return pdf;
    };
    const struct {
        const char* name;
        std::string pdf;
    } cases[] = {
        {"object and cross-reference streams", loneCr(HelloFile().Build())},
        {"classic table", loneCr(Classic())},
    };
    for (const auto& c : cases) {
        auto h = OpenBytes("lone-cr.pdf", c.pdf);
        EXPECT_EQ(h->doc.LastOpen().outcome, TOpenResult::Opened) << c.name << ": " << h->AllMessages();
        EXPECT_EQ(h->doc.pageList.Count(), 1) << c.name;
        EXPECT_TRUE(ShowsHallo(*h)) << c.name;
    }
}

TEST(Repair, DirectEncryptDictionaryInATrailerIsEncryption) {
    const std::string pdf = Replace(Classic(), "/Root 1 0 R", "/Root 1 0 R /Encrypt << /Filter /Standard /V 2 >>");
    auto h = OpenBytes("encrypt-direct.pdf", pdf);
    EXPECT_EQ(h->doc.LastOpen().outcome, TOpenResult::Encrypted) << h->AllMessages();
}

TEST(Predictor, PngAndTiffRowsAreUndone) {
    struct TCase {
        const char* name;
        TPredictorParms parms;
        std::vector<uint8_t> coded;
        std::vector<uint8_t> plain;
    };
    const TCase cases[] = {
        {"none", {10, 1, 8, 2}, {0, 5, 6, 0, 7, 8}, {5, 6, 7, 8}},
        {"sub", {11, 1, 8, 3}, {1, 1, 1, 1}, {1, 2, 3}},
        {"up", {12, 1, 8, 2}, {2, 1, 2, 2, 1, 1}, {1, 2, 2, 3}},
        {"average", {13, 1, 8, 2}, {3, 4, 4, 3, 2, 2}, {4, 6, 4, 7}},
        {"paeth", {14, 1, 8, 2}, {4, 3, 1, 4, 1, 1}, {3, 4, 4, 5}},
        {"row cut short", {12, 1, 8, 2}, {2, 1, 2, 2, 1}, {1, 2}},
        {"two colours", {15, 2, 8, 2}, {1, 1, 2, 3, 4}, {1, 2, 4, 6}},
        {"tiff", {2, 3, 8, 2}, {1, 2, 3, 1, 1, 1}, {1, 2, 3, 2, 3, 4}},
        {"none at all", {1, 1, 8, 1}, {9, 8}, {9, 8}},
    };
    for (const TCase& c : cases) EXPECT_EQ(Unpredict(c.coded, c.parms), c.plain) << c.name;
}

}  // namespace

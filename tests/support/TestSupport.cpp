#include "TestSupport.h"

#include <algorithm>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

std::string DataPath(const std::string& relative) { return std::string(GW_TEST_DATA_DIR) + "/" + relative; }

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadFileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ScratchDir(const std::string& name) {
    // ctest runs test programs side by side: each process gets its own tree.
    fs::path dir = fs::path(GW_BINARY_DIR) / "test-scratch" / std::to_string(getpid()) / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir.string();
}

namespace {

std::vector<std::string> Split(const std::string& s, char sep) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(s);
    while (std::getline(in, part, sep)) parts.push_back(part);
    if (!s.empty() && s.back() == sep) parts.emplace_back();
    return parts;
}

}  // namespace

void PrintTo(const TManifestRow& row, std::ostream* os) { *os << row.file; }

std::string CorpusPath(const std::string& file) { return DataPath("corpus/" + file); }

std::vector<TManifestRow> LoadManifest() {
    std::istringstream in(ReadFileText(DataPath("corpus/manifest.tsv")));
    std::string line;
    std::getline(in, line);
    const auto header = Split(line, '\t');
    auto column = [&](const std::string& name) {
        for (size_t i = 0; i < header.size(); ++i)
            if (header[i] == name) return i;
        throw std::runtime_error("manifest has no column " + name);
    };
    const size_t cFile = column("file"), cVersion = column("version"), cClassic = column("classic_xref"),
                 cEnc = column("encrypted"), cExpected = column("expected"), cPages = column("pages"),
                 cOwnFonts = column("fonts"), cInheritedFonts = column("fonts_inherited"), cImages = column("images"), cProducer = column("info_producer");
    std::vector<TManifestRow> rows;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        const auto f = Split(line, '\t');
        TManifestRow row;
        row.file = f.at(cFile);
        row.version = f.at(cVersion);
        row.classicXref = f.at(cClassic) == "yes";
        row.encrypted = f.at(cEnc) == "yes";
        row.expected = f.at(cExpected);
        row.pages = f.at(cPages) == "-" ? -1 : std::stoi(f.at(cPages));
        // "=": inheritance adds nothing to the page's own fonts.
        const std::string& fonts = f.at(cInheritedFonts) == "=" ? f.at(cOwnFonts) : f.at(cInheritedFonts);
        if (fonts != "-" || row.pages == 1) {
            for (const auto& page : Split(fonts, ';')) {
                std::vector<std::string> names;
                if (page != "-")
                    for (const auto& name : Split(page, ',')) names.push_back(name);
                row.fonts.push_back(names);
            }
        }
        if (f.at(cImages) != "-" || row.pages == 1)
            for (const auto& n : Split(f.at(cImages), ';')) row.images.push_back(n == "-" ? 0 : std::stoi(n));
        row.infoProducer = f.at(cProducer);
        rows.push_back(row);
    }
    return rows;
}

TPdfBuilder& TPdfBuilder::Object(int32_t num, const std::string& body) {
    objects_[num] = body;
    return *this;
}

TPdfBuilder& TPdfBuilder::Stream(int32_t num, const std::string& dictEntries, const std::string& data) {
    objects_[num] = "<< " + dictEntries + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data +
                    "\nendstream";
    return *this;
}

TPdfBuilder& TPdfBuilder::Trailer(const std::string& entries) {
    trailer_ = entries;
    return *this;
}

std::string TPdfBuilder::Build() const {
    std::string out = "%PDF-" + version_ + "\n%\xE2\xE3\xCF\xD3\n";
    int32_t maxNum = objects_.empty() ? 0 : objects_.rbegin()->first;
    std::vector<size_t> offsets(static_cast<size_t>(maxNum) + 1, 0);
    for (const auto& [num, body] : objects_) {
        offsets[static_cast<size_t>(num)] = out.size();
        out += std::to_string(num) + " 0 obj\n" + body + "\nendobj\n";
    }
    const size_t xrefPos = out.size();
    out += "xref\n0 " + std::to_string(maxNum + 1) + "\n";
    char line[32];
    for (int32_t i = 0; i <= maxNum; ++i) {
        const bool used = i > 0 && objects_.count(i);
        std::snprintf(line, sizeof line, "%010zu %05d %c\r\n", used ? offsets[static_cast<size_t>(i)] : 0,
                      used ? 0 : 65535, used ? 'n' : 'f');
        out += line;
    }
    out += "trailer\n<< /Size " + std::to_string(maxNum + 1) + " " + trailer_ + " >>\nstartxref\n" +
           std::to_string(xrefPos) + "\n%%EOF\n";
    return out;
}

std::string TPdfBuilder::WriteTo(const std::string& name) const {
    const std::string path = ScratchDir("built") + "/" + name;
    WriteFileBytes(path, Build());
    return path;
}

std::string SimpleDocument(const std::vector<std::string>& pageContents) {
    TPdfBuilder b;
    std::string kids;
    const int32_t fontObj = 3;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(fontObj, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    int32_t num = 4;
    for (const auto& content : pageContents) {
        const int32_t pageNum = num++;
        const int32_t contentNum = num++;
        kids += std::to_string(pageNum) + " 0 R ";
        b.Object(pageNum, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /Font << /F1 " +
                              std::to_string(fontObj) + " 0 R >> >> /Contents " + std::to_string(contentNum) +
                              " 0 R >>");
        b.Stream(contentNum, "", content);
    }
    b.Object(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pageContents.size()) + " >>");
    b.Trailer("/Root 1 0 R");
    return b.Build();
}

std::string FormsDocument() {
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [7 0 R 8 0 R] /Count 2 >>");
    b.Object(3, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    b.Object(4, "<< /Type /Font /Subtype /Type1 /BaseFont /Courier /Encoding 17 0 R >>");
    b.Object(17, "<< /Type /Encoding /BaseEncoding /WinAnsiEncoding /Differences [65 /B] >>");
    b.Object(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman /Encoding /WinAnsiEncoding >>");
    b.Stream(6, "/Type /XObject /Subtype /Form /BBox [0 0 200 50] /Matrix [1 0 0 1 10 5] "
                "/Resources << /Font << /Fx 4 0 R >> /XObject << /Fm1 10 0 R /Fm0 6 0 R >> >>",
             "BT /Fx 10 Tf 0 0 Td (AAA) Tj ET /Fm1 Do /Fm0 Do");
    const std::string resources = "/Resources << /Font << /Fx 3 0 R >> /XObject << /Fm0 6 0 R >> >>";
    b.Object(7, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] " + resources +
                    " /Contents 15 0 R /Annots [9 0 R] >>");
    b.Object(8, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] " + resources +
                    " /Contents 16 0 R /Annots [12 0 R] >>");
    b.Object(9, "<< /Type /Annot /Subtype /FreeText /Rect [300 100 400 150] /Contents (Note) "
                "/DA (/FT 10 Tf 0 g) /AP << /N 11 0 R >> >>");
    b.Stream(10, "/Type /XObject /Subtype /Form /BBox [0 0 100 100]",
             "BT /Fx 8 Tf 0 20 Td (Nested) Tj ET /Fm0 Do");
    b.Stream(11, "/Type /XObject /Subtype /Form /BBox [0 0 50 25] /Resources << /Font << /FT 5 0 R >> >>",
             "BT /FT 10 Tf 2 5 Td (Stamped) Tj ET");
    b.Object(12, "<< /Type /Annot /Subtype /Widget /Rect [50 50 150 80] /FT /Btn /T (box) /AS /On "
                 "/AP << /N << /On 13 0 R /Off 14 0 R >> >> >>");
    const std::string stateForm = "/Type /XObject /Subtype /Form /BBox [0 0 100 30] /Resources << /Font << /FT 5 0 R >> >>";
    b.Stream(13, stateForm, "BT /FT 12 Tf 5 5 Td (On) Tj ET");
    b.Stream(14, stateForm, "BT /FT 12 Tf 5 5 Td (Off) Tj ET");
    b.Stream(15, "", "BT /Fx 12 Tf 72 700 Td (Page A) Tj ET q 1 0 0 1 100 500 cm /Fm0 Do Q");
    b.Stream(16, "", "/Fm0 Do");
    b.Trailer("/Root 1 0 R");
    return b.Build();
}

bool THeadlessDoc::HasMessage(const std::string& text) const {
    for (const auto& m : ui.messages)
        if (m.text == text) return true;
    return false;
}

std::vector<TOpenProblemKind> THeadlessDoc::OpenErrors() const {
    std::vector<TOpenProblemKind> kinds;
    for (const TOpenProblem& problem : doc.LastOpen().problems)
        if (problem.kind != TOpenProblemKind::TableRebuilt) kinds.push_back(problem.kind);
    return kinds;
}

std::string THeadlessDoc::AllMessages() const {
    std::string all;
    for (const auto& m : ui.messages) all += m.text + "\n";
    for (const TNotice& notice : ui.notices)
        all += "notice " + std::to_string(static_cast<int>(notice.kind)) + " page " + std::to_string(notice.page) +
               " " + notice.name + notice.detail + "\n";
    for (const TOpenProblem& problem : doc.LastOpen().problems)
        all += "problem " + std::to_string(static_cast<int>(problem.kind)) + " " + problem.detail + "\n";
    return all;
}

bool Told(const THeadlessUi& ui, TNoticeKind kind, int64_t page) {
    return std::any_of(ui.notices.begin(), ui.notices.end(), [&](const TNotice& notice) {
        return notice.kind == kind && (page == 0 || notice.page == page);
    });
}

std::vector<TNotice> NoticesOf(const THeadlessUi& ui, TNoticeKind kind) {
    std::vector<TNotice> found;
    for (const TNotice& notice : ui.notices)
        if (notice.kind == kind) found.push_back(notice);
    return found;
}

bool Reported(const THeadlessUi& ui, TProgressStep step, int64_t count) {
    return std::any_of(ui.progress.begin(), ui.progress.end(),
                       [&](const TProgress& p) { return p.step == step && p.count == count; });
}

std::unique_ptr<THeadlessDoc> OpenHeadless(const std::string& path, bool readPics) {
    auto h = std::make_unique<THeadlessDoc>();
    TOpenOptions options;
    options.readPics = readPics;
    h->doc.openfilenow(path, options);
    return h;
}

int64_t WriteSparsePdf(const std::string& path, int64_t padding, int32_t pages) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const int32_t count = 5 + 2 * pages;  // 0, catalog, tree, font, padding, pages and contents
    std::vector<int64_t> offsets(static_cast<size_t>(count), 0);
    auto object = [&](int32_t num, const std::string& body) {
        offsets[static_cast<size_t>(num)] = static_cast<int64_t>(out.tellp());
        out << num << " 0 obj\n" << body << "\nendobj\n";
    };
    out << "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    offsets[4] = static_cast<int64_t>(out.tellp());
    out << "4 0 obj\n<< /Length " << padding << " >>\nstream\n";
    out.seekp(padding, std::ios::cur);  // a hole that reads as zeros
    out << "\nendstream\nendobj\n";
    std::string kids;
    for (int32_t page = 1; page <= pages; ++page) kids += std::to_string(3 + 2 * page) + " 0 R ";
    object(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>");
    object(3, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    for (int32_t page = 1; page <= pages; ++page) {
        const int32_t pageNum = 3 + 2 * page;
        const std::string content = "BT /F1 24 Tf 72 700 Td (Seite " + std::to_string(page) + ") Tj ET";
        object(pageNum, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /Font << /F1 3 0 R >> >> "
                        "/Contents " + std::to_string(pageNum + 1) + " 0 R >>");
        object(pageNum + 1, "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream");
    }
    const int64_t xref = static_cast<int64_t>(out.tellp());
    out << "xref\n0 " << count << "\n0000000000 65535 f \n";
    for (int32_t num = 1; num < count; ++num) {
        std::string digits = std::to_string(offsets[static_cast<size_t>(num)]);
        out << std::string(digits.size() < 10 ? 10 - digits.size() : 0, '0') << digits << " 00000 n \n";
    }
    out << "trailer\n<< /Size " << count << " /Root 1 0 R >>\nstartxref\n" << xref << "\n%%EOF\n";
    return offsets[5];
}

size_t CodePointCount(const std::string& utf8) {
    size_t count = 0;
    for (const char ch : utf8) count += (static_cast<unsigned char>(ch) & 0xC0) != 0x80;
    return count;
}

TToolResult RunTool(const std::string& command, TToolStreams streams) {
    TToolResult result;
    const char* redirect = streams == TToolStreams::OutputOnly ? " 2>/dev/null" : " 2>&1";
    FILE* pipe = popen((command + redirect).c_str(), "r");
    if (!pipe) return result;
    char buf[4096];
    size_t got;
    while ((got = std::fread(buf, 1, sizeof buf, pipe)) > 0) result.output.append(buf, got);
    const int raw = pclose(pipe);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return result;
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

const char* const kHelloWorldCodes = "<0102030304050604070308>";

namespace {

// Liberation Sans's widths of H e l o space W r d: codes 1 to 8.
const int kHelloWidths[8] = {722, 556, 222, 556, 278, 944, 333, 556};

std::string HelloFontDict(THelloFont kind) {
    std::string widths = "/FirstChar 1 /LastChar 8 /Widths [";
    for (int width : kHelloWidths) widths += " " + std::to_string(width);
    widths += " ]";
    switch (kind) {
        case THelloFont::ToUnicodeOnly:
            return "<< /Type /Font /Subtype /TrueType /BaseFont /Private " + widths +
                   " /FontDescriptor 5 0 R /ToUnicode 6 0 R >>";
        case THelloFont::GlyphNamesOnly:
            return "<< /Type /Font /Subtype /Type1 /BaseFont /Private " + widths +
                   " /Encoding << /Type /Encoding /Differences [1 /H /e /l /o /space /W /r /d] >>"
                   " /FontDescriptor 5 0 R >>";
        case THelloFont::NothingSays:
            return "<< /Type /Font /Subtype /Type1 /BaseFont /Private " + widths +
                   " /Encoding << /Differences [1 /g1 /g2 /g3 /g4 /g5 /g6 /g7 /g8] >> /FontDescriptor 5 0 R >>";
        case THelloFont::TrueTypeSymbolCmap:
        case THelloFont::TrueTypeUnicodeCmap:
            return "<< /Type /Font /Subtype /TrueType /BaseFont /AAAAAA+LiberationSans " + widths +
                   " /FontDescriptor 5 0 R >>";
        case THelloFont::CffCharset:
            return "<< /Type /Font /Subtype /Type1 /BaseFont /AAAAAA+NimbusSans-Regular " + widths +
                   " /FontDescriptor 5 0 R >>";
        case THelloFont::HelveticaText:
            break;
    }
    std::string text = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding"
                       " /FirstChar 32 /LastChar 114 /Widths [";
    const std::string letters = "Helo Wrd";
    for (char ch = 32; ch <= 114; ++ch) {
        const size_t at = letters.find(ch);
        text += " " + std::to_string(at == std::string::npos ? 0 : kHelloWidths[at]);
    }
    return text + " ] >>";
}

}  // namespace

std::string HelloWorldDocument(THelloFont kind, bool helveticaBeside) {
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [4 0 R] /Count 1 >>");
    b.Object(3, HelloFontDict(kind));
    b.Object(4, std::string("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 100] /Resources << /Font << /F1 3 0 R") +
                    (helveticaBeside ? " /F2 8 0 R" : "") + " >> >> /Contents 7 0 R >>");
    if (helveticaBeside) b.Object(8, HelloFontDict(THelloFont::HelveticaText));
    const std::string content = std::string("BT /F1 24 Tf 20 40 Td ") +
                                (kind == THelloFont::HelveticaText ? "(Hello World)" : kHelloWorldCodes) + " Tj ET";
    b.Stream(7, "", content);
    const std::string descriptor = "<< /Type /FontDescriptor /FontName /Private /Flags 4 /FontBBox [-203 -212 1050 910]"
                                   " /ItalicAngle 0 /Ascent 905 /Descent -212 /CapHeight 688 /StemV 80";
    switch (kind) {
        case THelloFont::ToUnicodeOnly:
            b.Stream(6, "",
                     "/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapName /Private-UCS def\n"
                     "1 begincodespacerange <00> <FF> endcodespacerange\n"
                     "8 beginbfchar <01> <0048> <02> <0065> <03> <006C> <04> <006F> <05> <0020> <06> <0057>"
                     " <07> <0072> <08> <0064> endbfchar\n"
                     "endcmap CMapName currentdict /CMap defineresource pop end end\n");
            [[fallthrough]];
        case THelloFont::GlyphNamesOnly:
        case THelloFont::NothingSays:
            b.Object(5, descriptor + " >>");
            break;
        case THelloFont::TrueTypeSymbolCmap:
        case THelloFont::TrueTypeUnicodeCmap: {
            const std::string program = ReadFileText(DataPath(kind == THelloFont::TrueTypeSymbolCmap
                                                                  ? "fonts/subset-symbolic-30.ttf"
                                                                  : "fonts/subset-mac10-unicode31.ttf"));
            b.Object(5, descriptor + " /FontFile2 6 0 R >>");
            b.Stream(6, "/Length1 " + std::to_string(program.size()), program);
            break;
        }
        case THelloFont::CffCharset:
            b.Object(5, descriptor + " /FontFile3 6 0 R >>");
            b.Stream(6, "/Subtype /Type1C", ReadFileText(DataPath("fonts/subset-custom.cff")));
            break;
        case THelloFont::HelveticaText:
            break;
    }
    b.Trailer("/Root 1 0 R");
    return b.Build();
}

std::string SimpleAndCompositeDocument() {
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 100]"
                " /Resources << /Font << /F1 4 0 R /F2 5 0 R >> >> /Contents 8 0 R >>");
    b.Object(4, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    b.Object(5, "<< /Type /Font /Subtype /Type0 /BaseFont /Arial /Encoding /Identity-H /DescendantFonts [6 0 R]"
                " /ToUnicode 9 0 R >>");
    b.Object(6, "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /Arial /CIDSystemInfo << /Registry (Adobe)"
                " /Ordering (Identity) /Supplement 0 >> /FontDescriptor 7 0 R /DW 600 >>");
    b.Object(7, "<< /Type /FontDescriptor /FontName /Arial /Flags 32 /FontBBox [-665 -325 2000 1006] /ItalicAngle 0"
                " /Ascent 905 /Descent -212 /CapHeight 716 /StemV 80 >>");
    b.Stream(8, "", "BT /F1 12 Tf 10 60 Td (Simple) Tj /F2 12 Tf 0 -20 Td <00360037> Tj ET");
    b.Stream(9, "", "1 begincodespacerange <0000> <FFFF> endcodespacerange\n"
                    "2 beginbfchar <0036> <0053> <0037> <0054> endbfchar\n");
    b.Trailer("/Root 1 0 R");
    return b.Build();
}

std::string Deflate(std::string_view plain) {
    uLongf size = compressBound(static_cast<uLong>(plain.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(plain.data()),
                  static_cast<uLong>(plain.size()), 9) != Z_OK)
        throw std::runtime_error("zlib could not compress the test data");
    out.resize(size);
    return out;
}

int32_t ChooseReplacement(TPdfDocument& doc, int32_t pageIndex, const std::string& baseFont, TFontUse use,
                          const std::string& added) {
    int32_t chosen = 0;
    for (TFontRecord& font : doc.fontList) {
        if (font.hidden || font.pageIndex != pageIndex || font.baseFont != baseFont || font.use != use) continue;
        font.replacementName = added;
        ++chosen;
    }
    return chosen;
}

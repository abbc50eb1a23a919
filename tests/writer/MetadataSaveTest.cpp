// Saving files with XMP metadata through glyphwell-cli: the packet written
// in step with the information, a broken packet copied as it stands, no
// packet invented, the claims shown by "info", and what a replacement does
// to a PDF/A or PDF/X claim (/CharSet for PDF/A-1 subsets, checked with
// FreeType against the embedded program; unembedded fonts and foreign
// widths reported).
#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <regex>
#include <set>
#include <sstream>

#include "SavedFileChecks.h"
#include "TestSupport.h"

namespace {

std::string Packet(const std::string& descriptions) {
    return "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
           "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">" +
           descriptions + "</rdf:RDF></x:xmpmeta>\n" + std::string(1000, ' ') + "\n<?xpacket end=\"w\"?>";
}

const std::string kPdfA1b =
    "<rdf:Description rdf:about=\"\" xmlns:pdfaid=\"http://www.aiim.org/pdfa/ns/id/\" pdfaid:part=\"1\" "
    "pdfaid:conformance=\"B\"/>";

// One page drawing "Hallo Welt" in Helvetica (/F1); the catalog's metadata
// stream (object 7) holds `packet`, stored with `filter` when given.
std::string DocumentWithMetadata(const std::string& packet, const std::string& info = "/Title (Alt)",
                                 bool flate = false) {
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R" + std::string(packet.empty() ? "" : " /Metadata 7 0 R") + " >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] /Resources << /Font << /F1 5 0 R >> >> "
                "/Contents 4 0 R >>");
    b.Stream(4, "", "BT /F1 24 Tf 20 100 Td (Hallo Welt) Tj ET");
    b.Object(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    b.Object(6, "<< " + info + " /Producer (Alter Producer) /CreationDate (D:20170418221917-07'00') >>");
    if (!packet.empty())
        b.Stream(7, "/Type /Metadata /Subtype /XML" + std::string(flate ? " /Filter /FlateDecode" : ""),
                 flate ? Deflate(packet) : packet);
    b.Trailer("/Root 1 0 R /Info 6 0 R");
    return b.Build();
}

struct TSaved {
    TToolResult run;
    std::string bytes;
    std::string path;
};

TSaved Save(const std::string& name, const std::string& pdf, const std::string& options) {
    const std::string dir = ScratchDir("metadata-" + name);
    WriteFileBytes(dir + "/in.pdf", pdf);
    TSaved saved;
    saved.path = dir + "/out.pdf";
    saved.run = RunTool(Quoted(CliPath()) + " save " + Quoted(dir + "/in.pdf") + " -o " + Quoted(saved.path) + " " +
                        options);
    saved.bytes = ReadFileText(saved.path);
    return saved;
}

// pdfinfo ends the packet with a line feed of its own.
std::string SavedPacket(const std::string& path) {
    std::string packet = ToolOutput("pdfinfo -meta " + Quoted(path));
    if (!packet.empty() && packet.back() == '\n') packet.pop_back();
    return packet;
}

TEST(SavedMetadata, FollowsTheInformationAndKeepsTheRest) {
    const std::string packet = Packet(
        kPdfA1b + "<rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
                  "<dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">Alt</rdf:li></rdf:Alt></dc:title>"
                  "<dc:rights>Alle Rechte</dc:rights></rdf:Description>");
    for (const bool flate : {false, true}) {
        SCOPED_TRACE(flate ? "packed" : "plain");
        const TSaved saved = Save(flate ? "packed" : "plain", DocumentWithMetadata(packet, "/Title (Alt)", flate),
                                  "--title 'Neuer Titel – <geändert>' --author 'Zoë' --modified 2024-05-06T07:08:09");
        ASSERT_EQ(saved.run.status, 0) << saved.run.output;
        const std::string xmp = SavedPacket(saved.path);
        EXPECT_NE(xmp.find("<rdf:li xml:lang=\"x-default\">Neuer Titel – &lt;geändert&gt;</rdf:li>"), std::string::npos)
            << xmp;
        EXPECT_NE(xmp.find("<dc:creator><rdf:Seq><rdf:li>Zoë</rdf:li></rdf:Seq></dc:creator>"), std::string::npos) << xmp;
        EXPECT_NE(xmp.find("<pdf:Producer>Alter Producer</pdf:Producer>"), std::string::npos) << xmp;
        EXPECT_NE(xmp.find("<xmp:CreateDate>2017-04-18T22:19:17-07:00</xmp:CreateDate>"), std::string::npos) << xmp;
        // The time of day the user set, with the zone's offset of that day.
        EXPECT_TRUE(std::regex_search(xmp, std::regex("<xmp:ModifyDate>2024-05-06T07:08:09([+-]\\d\\d:\\d\\d|Z)"
                                                      "</xmp:ModifyDate>")))
            << xmp;
        EXPECT_NE(xmp.find("<dc:rights>Alle Rechte</dc:rights>"), std::string::npos) << xmp;
        EXPECT_NE(xmp.find("pdfaid:part=\"1\" pdfaid:conformance=\"B\""), std::string::npos) << xmp;
        // Unfiltered, as PDF/A requires, and the same size: the padding gave way.
        EXPECT_EQ(xmp.size(), packet.size());
        EXPECT_NE(saved.bytes.find(xmp), std::string::npos);
        EXPECT_EQ(QpdfCheck(saved.path).status, 0);
    }
}

TEST(SavedMetadata, BrokenPacketIsCopiedAndTheSaveSaysSo) {
    const std::string broken = Packet("<rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
                                      "<dc:title>unclosed</rdf:Description>");
    const TSaved saved = Save("broken", DocumentWithMetadata(broken), "--title Neu");
    ASSERT_EQ(saved.run.status, 0) << saved.run.output;
    EXPECT_NE(saved.run.output.find("Die XMP-Metadaten der Datei lassen sich nicht lesen; sie wurden unverändert "
                                    "übernommen"),
              std::string::npos)
        << saved.run.output;
    EXPECT_EQ(SavedPacket(saved.path), broken);
}

TEST(SavedMetadata, NoneIsInventedForAFileWithout) {
    const TSaved saved = Save("none", DocumentWithMetadata(""), "--title Neu --author A --keywords K");
    ASSERT_EQ(saved.run.status, 0) << saved.run.output;
    EXPECT_EQ(saved.bytes.find("/Metadata"), std::string::npos);
    EXPECT_EQ(saved.bytes.find("xmpmeta"), std::string::npos);
    EXPECT_EQ(saved.run.output.find("XMP"), std::string::npos) << saved.run.output;
}

TEST(ConformanceClaims, InfoShowsPartConformanceAndVersion) {
    const struct {
        const char* name;
        std::string pdf;
        const char* shown;
    } cases[] = {
        {"pdfa", DocumentWithMetadata(Packet(kPdfA1b)), "Konformität: PDF/A-1b\n"},
        {"pdfx-info", DocumentWithMetadata("", "/GTS_PDFXVersion (PDF/X-1a:2001)"), "Konformität: PDF/X-1a:2001\n"},
        {"both",
         DocumentWithMetadata(Packet("<rdf:Description rdf:about=\"\" xmlns:pdfaid=\"http://www.aiim.org/pdfa/ns/id/\" "
                                     "xmlns:pdfxid=\"http://www.npes.org/pdfx/ns/id/\" pdfaid:part=\"2\" "
                                     "pdfaid:conformance=\"U\" pdfxid:GTS_PDFXVersion=\"PDF/X-4\"/>")),
         "Konformität: PDF/A-2u, PDF/X-4\n"},
        {"none", DocumentWithMetadata(""), "Konformität: keine Angabe\n"},
    };
    for (const auto& c : cases) {
        const std::string path = ScratchDir(std::string("claims-") + c.name) + "/in.pdf";
        WriteFileBytes(path, c.pdf);
        const TToolResult info = RunTool(Quoted(CliPath()) + " info " + Quoted(path));
        EXPECT_NE(info.output.find(c.shown), std::string::npos) << c.name << "\n" << info.output;
    }
}

// The /CharSet names of the saved descriptor and the embedded program.
struct TSubset {
    std::vector<std::string> charSet;
    std::string program;
};

TSubset SubsetOf(const TSaved& saved) {
    TSubset subset;
    std::smatch match;
    if (!std::regex_search(saved.bytes, match, std::regex("/FontFile2 (\\d+) 0 R /CharSet \\(([^)]*)\\)")))
        return subset;
    std::istringstream names(match[2].str());
    std::string name;
    while (std::getline(names, name, '/'))
        if (!name.empty()) subset.charSet.push_back(name);
    subset.program = ToolOutput("qpdf --show-object=" + match[1].str() + " --filtered-stream-data " + Quoted(saved.path));
    return subset;
}

TEST(ConformanceClaims, PdfA1SubsetListsExactlyItsGlyphs) {
    const TSaved saved = Save("charset", DocumentWithMetadata(Packet(kPdfA1b)),
                              "--add-font 'Liberation Sans' --replace /F1=/LiberationSans --natural-widths");
    ASSERT_EQ(saved.run.status, 0) << saved.run.output;
    EXPECT_EQ(saved.run.output.find("erfüllt das nicht mehr"), std::string::npos) << saved.run.output;
    const TSubset subset = SubsetOf(saved);
    ASSERT_FALSE(subset.charSet.empty()) << "no /CharSet";

    FT_Library library = nullptr;
    ASSERT_EQ(FT_Init_FreeType(&library), 0);
    FT_Face face = nullptr;
    ASSERT_EQ(FT_New_Memory_Face(library, reinterpret_cast<const FT_Byte*>(subset.program.data()),
                                 static_cast<FT_Long>(subset.program.size()), 0, &face),
              0);
    // Every glyph but .notdef once, and each name a glyph of the program.
    EXPECT_EQ(static_cast<FT_Long>(subset.charSet.size()), face->num_glyphs - 1);
    std::set<FT_UInt> glyphs;
    for (const std::string& name : subset.charSet) {
        const FT_UInt glyph = FT_Get_Name_Index(face, name.c_str());
        EXPECT_NE(glyph, 0u) << name;
        glyphs.insert(glyph);
    }
    EXPECT_EQ(glyphs.size(), subset.charSet.size());
    // The glyphs the page draws are among them.
    for (const char ch : std::string("HaloWt")) EXPECT_TRUE(glyphs.count(FT_Get_Char_Index(face, ch))) << ch;
    FT_Done_Face(face);
    FT_Done_FreeType(library);

    // Without a PDF/A-1 claim no /CharSet is written.
    const TSaved plain = Save("no-charset", DocumentWithMetadata(""),
                              "--add-font 'Liberation Sans' --replace /F1=/LiberationSans");
    ASSERT_EQ(plain.run.status, 0) << plain.run.output;
    EXPECT_EQ(plain.bytes.find("/CharSet"), std::string::npos);
}

TEST(ConformanceClaims, SaveSaysWhatBreaksTheClaim) {
    const std::string pdfa = DocumentWithMetadata(Packet(kPdfA1b));
    const std::string pdfx = DocumentWithMetadata("", "/GTS_PDFXVersion (PDF/X-1a:2001)");
    const struct {
        const char* name;
        const std::string& pdf;
        std::string options;
        std::string said;  // empty: nothing to say
    } cases[] = {
        {"unembedded", pdfa, "--add-font 'Liberation Sans' --replace /F1=/LiberationSans --no-embed",
         "Die Datei gibt an, PDF/A-1b zu erfüllen; die gespeicherte Datei erfüllt das nicht mehr: die Schriftart "
         "LiberationSans ist nicht eingebettet."},
        {"unembedded-x", pdfx, "--add-font 'Liberation Sans' --replace /F1=/LiberationSans --no-embed",
         "Die Datei gibt an, PDF/X-1a:2001 zu erfüllen; die gespeicherte Datei erfüllt das nicht mehr: die Schriftart "
         "LiberationSans ist nicht eingebettet."},
        // Helvetica's widths are not DejaVu Sans's: kept, they break PDF/A
        // (not PDF/X); Liberation Sans has Helvetica's widths.
        {"widths", pdfa, "--add-font 'DejaVu Sans' --replace /F1=/DejaVuSans",
         "die Schriftart DejaVuSans behält Zeichenbreiten, die ihr Schriftprogramm nicht hat."},
        {"widths-x", pdfx, "--add-font 'DejaVu Sans' --replace /F1=/DejaVuSans", ""},
        {"metric-compatible", pdfa, "--add-font 'Liberation Sans' --replace /F1=/LiberationSans", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TSaved saved = Save(std::string("claim-") + c.name, c.pdf, c.options);
        ASSERT_EQ(saved.run.status, 0) << saved.run.output;
        if (c.said.empty()) {
            EXPECT_EQ(saved.run.output.find("erfüllt das nicht mehr"), std::string::npos) << saved.run.output;
        } else {
            EXPECT_NE(saved.run.output.find(c.said), std::string::npos) << saved.run.output;
        }
    }
}

}  // namespace

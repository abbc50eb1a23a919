// Shared helpers of the test programs: test data, the corpus manifest, a
// small in-memory PDF builder and a headless document.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "PdfDocument.h"

// Path of a file below tests/data.
std::string DataPath(const std::string& relative);
std::vector<uint8_t> ReadFileBytes(const std::string& path);
std::string ReadFileText(const std::string& path);

// An independent tool run through the shell: its exit status (-1 when it
// did not run or was killed) and what it wrote, standard output alone or
// with its error output.
struct TToolResult {
    int status = -1;
    std::string output;
};
enum class TToolStreams { OutputOnly, OutputAndErrors };
TToolResult RunTool(const std::string& command, TToolStreams streams = TToolStreams::OutputAndErrors);
// Standard output alone, for tools whose output is parsed.
inline std::string ToolOutput(const std::string& command) {
    return RunTool(command, TToolStreams::OutputOnly).output;
}
// A path quoted for the shell.
std::string Quoted(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
// A fresh, empty folder below the build tree for one test's files (one
// tree per process, so test programs may run side by side).
std::string ScratchDir(const std::string& name);

// One line of tests/data/corpus/manifest.tsv.
struct TManifestRow {
    std::string file;
    std::string version;
    bool classicXref = false;
    bool encrypted = false;
    std::string expected;  // open, open-with-warnings, refuse-encrypted, refuse-invalid
    int pages = -1;        // -1 where the manifest says "-"
    // Per page, the sorted font resource names of the /Font dictionary the
    // page uses: its own, or the one it inherits from the page tree (the
    // manifest's "fonts_inherited" column where that is not "=").
    std::vector<std::vector<std::string>> fonts;
    std::vector<int> images;
    std::string infoProducer;
};
std::vector<TManifestRow> LoadManifest();
// GoogleTest prints parameters through this: the file name says enough.
void PrintTo(const TManifestRow& row, std::ostream* os);
std::string CorpusPath(const std::string& file);

// Builds a classic PDF file from object bodies: offsets, the xref table and
// the trailer are computed. Bodies are written between "N 0 obj" and "endobj".
class TPdfBuilder {
public:
    explicit TPdfBuilder(std::string version = "1.4") : version_(std::move(version)) {}
    TPdfBuilder& Object(int32_t num, const std::string& body);
    // A stream object: the dictionary entries (without << >>) get /Length.
    TPdfBuilder& Stream(int32_t num, const std::string& dictEntries, const std::string& data);
    // Extra trailer entries besides /Size, e.g. "/Root 1 0 R /Info 2 0 R".
    TPdfBuilder& Trailer(const std::string& entries);
    std::string Build() const;
    // Writes the file below the build tree and returns its path.
    std::string WriteTo(const std::string& name) const;

private:
    std::string version_;
    std::map<int32_t, std::string> objects_;
    std::string trailer_;
};

// A minimal valid document: catalog 1, page tree 2, the given pages as
// objects 3.. each with the given content (uncompressed) and a font /F1
// (Helvetica) in its resources.
std::string SimpleDocument(const std::vector<std::string>& pageContents);

// Two pages that draw one form (/Fm0, object 6) and an annotation
// appearance each. The page's /Fx is Helvetica (3); the form's /Fx is
// Courier (4) with /Differences mapping "A" to "B", used nowhere else; the
// appearances' /FT is Times-Roman (5), used nowhere else. The form calls
// itself and a nested form without resources (10) that calls it back.
// Page 1 (7): "(Page A)" at 72 700, the form at 100 500, a FreeText
// annotation (9) at [300 100 400 150] whose 50x25 appearance (11) shows
// "(Stamped)". Page 2 (8): the form at 0 0 and a widget (12) in state /On
// of /On (13, "(On)") and /Off (14, "(Off)").
std::string FormsDocument();

// How the font of HelloWorldDocument says which character each code is.
enum class THelloFont {
    ToUnicodeOnly,        // not embedded, symbolic, no encoding; a /ToUnicode map
    GlyphNamesOnly,       // not embedded, symbolic; /Differences written in the font dictionary
    TrueTypeSymbolCmap,   // an embedded TrueType subset with only a (3,0) cmap and post glyph names
    TrueTypeUnicodeCmap,  // an embedded TrueType subset with a (1,0) cmap of the codes and a (3,1) one, no names
    CffCharset,           // an embedded CFF subset with a charset and its own encoding of the codes
    NothingSays,          // not embedded, symbolic, /Differences of private names, no /ToUnicode
    HelveticaText,        // Helvetica with WinAnsiEncoding: the same words as text
};
// A one-page document that shows "Hello World" at 24 pt with the font /F1
// (object 3): the codes 1 to 8 in the order of first use (H e l o space W r
// d), as office programs and TeX write subsets, or for HelveticaText the
// characters' own codes. Every kind states the same widths (Liberation
// Sans's), so that a replacement by Liberation Sans draws the same page.
// The subsets come from tests/data/fonts (see make-subset-fonts.py).
// With `helveticaBeside` the page's resources also hold /F2 (object 8),
// HelveticaText's font, which nothing on the page draws with.
std::string HelloWorldDocument(THelloFont kind, bool helveticaBeside = false);
// The content that shows "Hello World" in the codes 1 to 8.
extern const char* const kHelloWorldCodes;

// One page that shows "Simple" with Helvetica (/F1) and "ST" with a
// composite font (/F2 "Arial": Identity-H, a TrueType descendant that is
// not embedded, a /ToUnicode map).
std::string SimpleAndCompositeDocument();

// A document opened with a headless user interface.
struct THeadlessDoc {
    THeadlessUi ui;
    TPdfDocument doc{ui};
    bool HasMessage(const std::string& text) const;
    // The last open's report names a problem of this kind.
    bool HasProblem(TOpenProblemKind kind) const { return doc.LastOpen().Has(kind); }
    // The last open's problems, but for a rebuilt table (which is only noted).
    std::vector<TOpenProblemKind> OpenErrors() const;
    // Messages and the open's problems, for failure output.
    std::string AllMessages() const;
};
std::unique_ptr<THeadlessDoc> OpenHeadless(const std::string& path, bool readPics = true);

// Whether the core told the user `kind` about `page` (0: about any page or none).
bool Told(const THeadlessUi& ui, TNoticeKind kind, int64_t page = 0);
// The notices of `kind`, in order.
std::vector<TNotice> NoticesOf(const THeadlessUi& ui, TNoticeKind kind);
// Whether an open reported the progress step with `count`.
bool Reported(const THeadlessUi& ui, TProgressStep step, int64_t count = 0);

// Gives `added` as replacement to the records of `baseFont` that page
// `pageIndex` uses as `use`; how many there were.
int32_t ChooseReplacement(TPdfDocument& doc, int32_t pageIndex, const std::string& baseFont, TFontUse use,
                          const std::string& added);

// Writes a file of `pages` pages (each with the text "Seite N" in Helvetica)
// whose page, font and content objects stand behind a padding stream of
// `padding` zero bytes. The padding is a hole in the file, which takes no
// disk space. Returns the offset of the first page object.
int64_t WriteSparsePdf(const std::string& path, int64_t padding, int32_t pages = 1);

// zlib data of the bytes, as a /FlateDecode stream holds them.
std::string Deflate(std::string_view plain);

// Code points in a UTF-8 text (the display list's run texts are UTF-8).
size_t CodePointCount(const std::string& utf8);

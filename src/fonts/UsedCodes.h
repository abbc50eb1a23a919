// Which character codes a page draws with which font: in its own content,
// and through every form, tiling pattern, Type 3 glyph and annotation
// appearance it reaches.
#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "Lexer.h"

using TCodeSet = std::bitset<256>;
// Font resource name (with its slash, as the Tf operand stands) -> codes.
using TCodesByFont = std::map<std::string, TCodeSet>;

// What one content does that the drawn codes depend on.
struct TContentScan {
    // Codes by the font name the last Tf selected; under "" the codes shown
    // before any Tf, which a form shows with the font its caller selected.
    TCodesByFont codes;
    // The names drawn with "Do", each with the font name selected then
    // ("" none), and the patterns filled with ("/P1 scn"); each once.
    std::vector<std::pair<std::string, std::string>> xobjects;
    std::vector<std::string> patterns;
    // The shown strings' bytes by font name, for the fonts the caller
    // named: a composite font's codes are one to four bytes long, which
    // only its encoding can tell apart.
    std::map<std::string, std::vector<std::string>> strings;
};

// Scans a decoded content for the strings of Tj, TJ, ' and " and files
// their bytes under the font selected by the last Tf. Inline image data is
// stepped over; a damaged content is read as far as it makes sense.
// The strings shown with a font in `keepStrings` are kept whole as well.
TContentScan ScanContent(const uint8_t* data, size_t size, const std::set<std::string>* keepStrings = nullptr);
TCodesByFont CodesByFont(const uint8_t* data, size_t size);

class TPdfDocument;
struct TFontRecord;

// A font as a content names it: the position of the /Resources dictionary
// the name is looked up in (-1: none) and the name. Two pages that share
// their resources name the same font the same way.
using TScopedName = std::pair<TFilePos, std::string>;
using TCodesByScopedName = std::map<TScopedName, TCodeSet>;
// A composite font's codes: code -> its length in bytes.
using TWideCodes = std::map<uint32_t, uint8_t>;

// Where a font record's name is looked up: the resources of the form or
// appearance that lists it, else those of its page.
TScopedName ScopedNameOf(const TPdfDocument& doc, const TFontRecord& record);

// Collects the codes drawn by pages. A form without /Resources looks its
// names up where its caller does (for a page that may be the page tree's
// resources); nested forms, patterns and Type 3 glyph procedures are
// followed to any depth up to kMaxFormDepth, each content decoded and
// scanned once however many pages draw it. Text a form shows before it
// selects a font counts for the font its caller selected.
class TDrawnCodes {
public:
    explicit TDrawnCodes(TPdfDocument& doc);
    ~TDrawnCodes();
    TDrawnCodes(const TDrawnCodes&) = delete;
    TDrawnCodes& operator=(const TDrawnCodes&) = delete;

    // Adds what page `pageIndex` (0-based) draws: its content (`content`,
    // when given, is its decoded content; otherwise it is read from the
    // file) and the normal appearances of its annotations. The document's
    // cursor is kept.
    void AddPage(int32_t pageIndex, const std::vector<uint8_t>* content = nullptr);
    // Every code of every page added so far.
    const TCodesByScopedName& Codes() const;
    // The codes drawn with the font of `record` on the pages added so far.
    TCodeSet Of(const TFontRecord& record) const;
    // The same for a composite font: each code (split by its encoding)
    // with its length in bytes. Text a form shows before it selects a font
    // is not split, as the form does not say with which encoding.
    TWideCodes WideOf(const TFontRecord& record) const;

private:
    struct TImpl;
    std::unique_ptr<TImpl> impl_;
};

// The plain records of the document model. Texts are 8-bit (Windows-1252)
// byte strings owned by the record; an empty string stands for "none".
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Dib.h"
#include "Filters.h"
#include "Lexer.h"
#include "TDynaArray.h"

// One key of a parsed dictionary with every token of its value.
struct TDictEntry {
    std::vector<std::string> tokens;
    TFilePos keyPos = 0;    // GetPos() at which the key token starts
    TFilePos valuePos = 0;  // GetPos() just behind the key and its blanks
};
using TDictEntryList = TDynaArray<TDictEntry>;

// One object number's cross-reference line.
// One row of the object table. Objects that live in an object stream are
// copied out as ordinary objects behind the file's bytes when the file is
// opened (see ObjectTable.cpp), so after the open every object in use is "at
// an offset" and everything reads it by position.
enum class TObjKind : uint8_t { Free, AtOffset, InStream };

struct TObjEntry {
    TFilePos offset = 0;     // AtOffset: byte position; InStream: the stream's object number
    int32_t generation = 0;  // InStream: the index inside the stream
    uint8_t known = 0;       // set by the newest section that lists it
    uint8_t inUse = 0;
    TObjKind kind = TObjKind::Free;
    // Cross-reference streams and object-stream containers: structure of
    // this file, not content; a saved file gets its own classic table.
    uint8_t structural = 0;
};

struct TContentRef {
    TFilePos length = 0;
    int32_t objNum = 0;
    int32_t gen = 0;
    uint8_t lengthKnown = 0;
    uint8_t valid = 0;
};

struct TAnnotation {
    std::string title;     // /T
    std::string contents;  // /Contents
    // /Rect in inches, y measured downwards from the top of the media box.
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    uint8_t present = 0;
    uint8_t isFreeText = 0;
    uint8_t isRef = 0;
    uint8_t isOpen = 0;
    int32_t iconKind = 0;
    int32_t annotKind = 0;  // 0 other, 1 /Text, 2 /FreeText, 3 /Stamp
    int32_t objNum = 0;
    int32_t gen = 0;
    // An annotation written straight into the /Annots array has no number:
    // where its "<<" stands in the file instead.
    TFilePos dictPos = -1;
};

// A kid found in a /Kids array while the page tree is walked.
struct TPageRef {
    int32_t objNum = 0;
    int32_t gen = 0;
};

// How a dictionary-valued key stands in its dictionary. The writer splices
// added fonts into the bytes it copies (an indirect value's object) or into
// the text it writes itself (a direct value inside a page it writes anew).
enum class TValueForm : uint8_t { Absent, Direct, Indirect };

// What a page may take from the nearest page-tree node above it that has
// the key, when it lacks the key itself.
inline constexpr std::string_view kInheritableKeys[] = {"/Resources", "/MediaBox", "/CropBox", "/Rotate"};

// For each inheritable key the entry of the nearest node that has it (in
// the order of kInheritableKeys, keys nobody has left out). Shared by every
// page below the node, so a flat tree of many pages holds it once.
using TInheritedEntries = std::shared_ptr<const std::vector<TDictEntry>>;

struct TPageRecord {
    int32_t objNum = 0;
    int32_t gen = 0;
    TFilePos resourcesFirstKeyPos = 0;
    TFilePos xobjectsFirstKeyPos = 0;
    TFilePos fontsFirstKeyPos = 0;
    TFilePos xobjectDictPos = 0;
    TFilePos fontDictPos = 0;
    TFilePos resourcesDictPos = 0;
    uint8_t hasXObjects = 0;
    uint8_t hasFonts = 0;
    uint8_t hasResources = 0;
    // The form of the page's effective /Resources value, and of the /Font
    // and /XObject values inside it (present even when they are empty
    // dictionaries or cannot be fetched).
    TValueForm resourcesForm = TValueForm::Absent;
    TValueForm fontsForm = TValueForm::Absent;
    TValueForm xobjectsForm = TValueForm::Absent;
    uint8_t contentFiltered = 0;
    std::vector<std::string> contentFilters;
    std::array<double, 4> mediaBox{};  // llx, lly, urx, ury in points
    TDynaArray<TContentRef> contentRefs;
    TDynaArray<TDictEntry> pageEntries;  // the page dictionary's own entries
    TInheritedEntries inherited;         // null: no ancestor has any of them
    TDynaArray<TAnnotation> annotations;
    // The page's own /XObject entries: name and position of the object's
    // dictionary. Two pages may use one name for different pictures (every
    // page of a scan is often "/Im0"), so "Do" finds its picture through this.
    std::vector<std::pair<std::string, TFilePos>> xobjectPositions;
    // Bytes of all decoded content streams joined (read again on demand).
    int32_t contentLength = 0;
    uint8_t hasContent = 0;
    // A content stream broke off or could not be read: the page holds what
    // was read up to the damage. Saving copies its streams as they are.
    uint8_t contentDamaged = 0;
};

// The page's own entry for `key`, or the one it inherits; null when neither
// exists.
const TDictEntry* EffectiveEntry(const TPageRecord& page, std::string_view key);
// Whether the entry came from a page-tree node rather than the page itself.
bool IsInheritedEntry(const TPageRecord& page, const TDictEntry& entry);

// Where a page draws with a font: its own content, a form XObject it
// draws, or an annotation's appearance; or the default fonts of the
// interactive form, which belong to no page.
enum class TFontUse : uint8_t { PageContent, Form, Annotation, FormDefaults };

struct TFontText;

// What a simple font's dictionary says per code (each table indexed by code,
// the widths by code minus /FirstChar).
struct TFontCodes {
    std::array<uint8_t, 256> charSetCodes{};
    std::array<uint8_t, 256> differences{};
    std::array<uint8_t, 256> differenceSet{};
    std::array<double, 256> widths{};
    std::array<uint8_t, 256> widthSet{};

    static const TFontCodes& Empty() {
        static const TFontCodes empty;
        return empty;
    }
};

struct TFontRecord {
    std::string replacementName;  // empty: the old font stays
    std::string resName;          // key of the /Font entry, with its slash
    std::string baseFontName;     // added fonts only
    // What the font dictionary says, as read: /BaseFont and /Subtype names,
    // the encoding's name (its /BaseEncoding for a dictionary, "" without
    // one), whether the descriptor holds a font program.
    std::string baseFont;
    std::string subtype;
    std::string encodingName;
    uint8_t hasDifferences = 0;
    uint8_t embedded = 0;
    std::string fontDictExtra;    // added fonts only
    // Added fonts only: the installed font file, and how the fonts it
    // replaces are written.
    std::string fontFile;
    int32_t fontFaceIndex = 0;
    uint8_t embed = 1;       // the font program goes into the file
    uint8_t keepWidths = 1;  // each code keeps the advance of the font it replaces
    int32_t pageIndex = 0;
    // Fonts of forms and appearances: the /Resources dictionary that holds
    // them (-1: the page's own) and, in usedBy, the form's resource name or
    // the annotation's object number. The interactive form's default fonts
    // have pageIndex -1 and their /DR dictionary as scope.
    TFontUse use = TFontUse::PageContent;
    TFilePos scopePos = -1;
    std::string usedBy;
    TFilePos encodingDictPos = 0;
    int32_t firstChar = 0;
    TFilePos descriptorPos = 0;
    int32_t encoding = 0;  // 0 Standard, 1 MacRoman, 2 WinAnsi, 3 PDFDoc
    TFilePos fontDictPos = 0;
    uint8_t hidden = 0;
    uint8_t isType3 = 0;
    uint8_t hasEncodingDict = 0;
    uint8_t hasCharSet = 0;
    uint8_t hasDescriptor = 0;
    double bboxWidth = 0;
    double bboxHeight = 0;
    std::string charSet;
    // The per-code tables, shared by every record read from the same font
    // dictionary: a font used on 2000 pages holds them once.
    const TFontCodes& Codes() const { return codes ? *codes : TFontCodes::Empty(); }
    TFontCodes& EditCodes();
    // Where the font's text comes from beyond its encoding (0: nowhere):
    // the /ToUnicode stream, a composite font's embedded CMap stream and
    // descendant font dictionary, the descriptor's font program (kind 1, 2
    // or 3 for /FontFile, /FontFile2, /FontFile3).
    int32_t toUnicodeObj = 0;
    int32_t encodingCMapObj = 0;
    TFilePos descendantPos = 0;
    int32_t fontFileObj = 0;
    uint8_t fontFileKind = 0;
    uint8_t encodingGiven = 0;  // the dictionary has an /Encoding key
    std::string cidSubtype;     // the descendant's /Subtype
    // Built from the above on first use (see FontText.h in the fonts library).
    std::shared_ptr<const TFontText> text;
    uint8_t textRead = 0;

private:
    std::shared_ptr<TFontCodes> codes;
};

// Copy on write: a record about to change its tables gets its own.
inline TFontCodes& TFontRecord::EditCodes() {
    if (!codes) codes = std::make_shared<TFontCodes>();
    else if (codes.use_count() > 1) codes = std::make_shared<TFontCodes>(*codes);
    return *codes;
}

struct TImageRecord {
    std::string resName;
    int32_t pageIndex = 0;
    int32_t filterKind = 0;  // 1 DCT, 2 Flate, 3 CCITT, 0 anything else
    TFilePos length = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t bitsPerComponent = 0;
    TFilePos objectPos = 0;
    TFilePos streamPos = 0;
    uint8_t hasFilter = 0;
    uint8_t isImage = 0;
    std::vector<std::string> filterNames;
    TPredictorParms predictor;
};

struct TPathSegment {
    double lineWidth = 0;
    double p1x = 0, p1y = 0;
    double p2x = 0, p2y = 0;
    double p3x = 0, p3y = 0;
    uint8_t drawn = 0;
};
using TSegmentList = TDynaArray<TPathSegment>;

// Colours are red | green << 8 | blue << 16.
using TColorRef = int32_t;

// The font resource names that text runs select, each held once: a run
// keeps the position of its name instead of a copy. A name stays while the
// document is open, so a page interpreted again finds its names in place;
// the table grows with the distinct names of the content, not with its runs.
class TRunFontNames {
public:
    // The position of name, which is added when it is new.
    int32_t Intern(const std::string& name);
    // The name at position id; empty for -1 (path and image items) and for
    // any position never handed out.
    const std::string& Name(int32_t id) const;
    int32_t Count() const { return static_cast<int32_t>(names_.size()); }
    void Clear();

private:
    std::vector<std::string> names_;
    std::unordered_map<std::string, int32_t> ids_;
};

struct TDisplayItem {
    // The position in the document's runFontNames of the resource name the
    // run's "Tf" selected (the name a run shows when hovered); -1 for paths
    // and images.
    int32_t fontNameId = -1;
    // The fontList position of a run's font record; -1 when the name led to
    // none.
    int32_t fontIndex = -1;
    std::string text;  // UTF-8, ends at the first character that mapped to 0
    double fontSize = 0;
    double x = 0;
    double y = 0;
    double textHeight = 0;
    int32_t startPos = 0;
    int32_t endPos = 0;
    int32_t pageNo = 0;
    uint8_t stroked = 0;
    uint8_t filled = 0;
    uint8_t isPath = 0;
    uint8_t isImage = 0;
    int32_t imageIndex = 0;
    double scaleX = 0;
    double scaleY = 0;
    TSegmentList segments;
    std::vector<double> spacings;  // one per character of the run
    std::vector<double> advances;  // one per character of the run
    double runWidth = 0;
    TColorRef strokeColor = 0;
    TColorRef fillColor = 0;
};

// A date and time of day as the information tab's pickers hold them.
struct TDateTimeValue {
    int32_t year = 2000;
    int32_t month = 1;
    int32_t day = 1;
    int32_t hour = 0;
    int32_t minute = 0;
    int32_t second = 0;
};

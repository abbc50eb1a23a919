// Form XObjects and annotation appearances: what the reader knows of each
// form a page may draw. The font listing adds the fonts of their resources
// to the pages; the interpreter draws them; the writer rewrites them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Filters.h"
#include "Lexer.h"

struct TFormRecord {
    int32_t objNum = 0;  // the stream object (forms are always streams)
    int32_t gen = 0;
    TFilePos dictPos = 0;  // the stream dictionary's "<<"
    bool isForm = false;  // /Subtype /Form; other XObjects only carry resources
    std::array<double, 6> matrix{1, 0, 0, 1, 0, 0};
    std::array<double, 4> bbox{};
    bool hasBBox = false;  // without one the form is drawn unclipped
    // Its own /Resources dictionary and the /Font dictionary inside it; -1
    // where it has none (a form without resources uses its caller's).
    TFilePos resourcesPos = -1;
    TFilePos fontDictPos = -1;
    // /XObject and /Pattern entries of its resources: name, dictionary position.
    std::vector<std::pair<std::string, TFilePos>> xobjects;
    std::vector<std::pair<std::string, TFilePos>> patterns;
    // The "stream" keyword, the /Length (-1: unknown) and the filters.
    TFilePos streamPos = 0;
    TFilePos length = -1;
    std::vector<std::string> filters;
    TPredictorParms predictor;
};

// An annotation's normal appearance, drawn at its rectangle.
struct TAnnotAppearance {
    int32_t annotObjNum = 0;
    int32_t formIndex = -1;
    bool hidden = false;  // /F says hidden or not to be shown on screen
    std::array<double, 4> rect{};  // /Rect in points, llx lly urx ury
};

struct TFormCatalog {
    std::vector<TFormRecord> forms;
    std::unordered_map<TFilePos, int32_t> byDictPos;  // dictPos -> index in forms
    // The object number and generation of a dictionary reached by reference.
    std::unordered_map<TFilePos, std::pair<int32_t, int32_t>> refByDictPos;
    // Per page index: the appearances of its annotations, in /Annots order.
    std::vector<std::vector<TAnnotAppearance>> appearances;

    // A position known to hold no form dictionary maps to -1.
    const TFormRecord* FormAt(TFilePos dictPos) const {
        const auto found = byDictPos.find(dictPos);
        if (found == byDictPos.end() || found->second < 0 || static_cast<size_t>(found->second) >= forms.size())
            return nullptr;
        return &forms[static_cast<size_t>(found->second)];
    }
    void Clear() {
        forms.clear();
        byDictPos.clear();
        refByDictPos.clear();
        appearances.clear();
    }
};

// Deeper nesting of forms in forms is no real producer's output; the
// listing and the interpreter stop there.
constexpr int32_t kMaxFormDepth = 16;

// A /Matrix applied to a /BBox: the rectangle the appearance covers, which
// the annotation's /Rect receives. Returns [sx 0 0 sy tx ty] mapping that
// rectangle onto `rect`, then combined with the form's own matrix.
std::array<double, 6> AppearanceMatrix(const TFormRecord& form, const std::array<double, 4>& rect);

class TPdfDocument;

// A form's decoded content; nothing when its stream cannot be read or one
// of its filters is not supported or finds corrupt data. The document's
// cursor is kept.
std::optional<std::vector<uint8_t>> ReadFormContent(TPdfDocument& doc, const TFormRecord& form);

// The parts of a /Resources dictionary that lead to fonts: the position of
// its /Font dictionary (-1: none) and its /XObject and /Pattern entries
// (name, position of the value's dictionary).
struct TResourceParts {
    TFilePos fontDictPos = -1;
    std::vector<std::pair<std::string, TFilePos>> xobjects;
    std::vector<std::pair<std::string, TFilePos>> patterns;
};
// The document's cursor and parse state are kept.
TResourceParts ReadResourceParts(TPdfDocument& doc, TFilePos resourcesPos);

// The dictionary at `dictPos` read as a form would be, without entering it
// in the catalog (a tiling pattern or a Type 3 glyph procedure is read this
// way: only its stream and resources matter); objNum stays 0. Nothing when
// no dictionary stands there. The cursor and parse state are kept.
std::optional<TFormRecord> ReadFormRecord(TPdfDocument& doc, TFilePos dictPos);

// The entries of the dictionary at `dictPos` whose values can be found:
// key and the position of the value (the referred object's body for a
// reference). The cursor and parse state are kept.
std::vector<std::pair<std::string, TFilePos>> DictValuePositions(TPdfDocument& doc, TFilePos dictPos);

// The body of a file in the compact form (PDF 1.5 and later): objects that
// are not streams go into object streams, which are written as they fill,
// and the file ends with a cross-reference stream.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "OutputFile.h"
#include "XrefStream.h"

class TCompactObjects {
public:
    using TAllocate = std::function<int32_t()>;
    TCompactObjects(TByteSink& out, TAllocate allocate) : out_(out), allocate_(std::move(allocate)) {}

    // Takes one complete object ("N G obj ... endobj"). A stream, an object
    // of another generation than 0 or one whose text is not of that shape
    // is written at once as it stands; any other goes into the object
    // stream being filled.
    void Put(int32_t objNum, int32_t gen, std::string_view text);
    // Lists object objNum at the file's current position: the caller
    // writes it (a stream) straight to the file next.
    void AtOffset(int32_t objNum, int32_t gen) {
        rows_.push_back({objNum, TXrefStreamRow::TKind::AtOffset, out_.Position(), gen});
    }
    // Writes the object stream being filled, then the cross-reference
    // stream with `trailer`'s entries, "startxref" and "%%EOF".
    void Finish(const TXrefStreamTrailer& trailer);

    // An object stream is written once it holds this many objects or bytes:
    // large enough to pack well, small enough that a viewer reading one page
    // unpacks little besides it.
    static constexpr int32_t kObjectsPerStream = 150;
    static constexpr size_t kBytesPerStream = 128 * 1024;

private:
    void FlushStream();

    TByteSink& out_;
    TAllocate allocate_;
    TObjectStreamBuilder builder_;
    int32_t streamNum_ = 0;  // of the object stream being filled
    std::vector<TXrefStreamRow> rows_;
};

// The object between "N G obj" and "endobj" of an object's text; nothing
// when the text does not have that shape.
std::optional<std::string_view> ObjectBody(std::string_view text);

// The compact form of PDF 1.5: objects packed into object streams, and the
// cross-reference table written as a stream.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One row of a cross-reference stream.
// 24 bytes: a file of millions of objects holds one per object while it is
// written.
struct TXrefStreamRow {
    enum class TKind : uint8_t { Free = 0, AtOffset = 1, InObjectStream = 2 };
    int32_t objNum = 0;
    TKind kind = TKind::Free;
    // Free: the next free object number; AtOffset: the byte offset;
    // InObjectStream: the number of the object stream.
    int64_t field2 = 0;
    // Free: the generation to use next; AtOffset: the generation; in a
    // stream: the object's index there.
    int64_t field3 = 0;
};
static_assert(sizeof(TXrefStreamRow) == 24);

// The entries of a cross-reference stream's dictionary besides those of
// the table itself, written as they stand (e.g. "/Root 1 0 R /Info 2 0 R
// /ID [<…><…>]").
struct TXrefStreamTrailer {
    std::string entries;
};

// The bytes of the cross-reference stream object `objNum` (from "N 0 obj"
// to "endobj"), for rows sorted by object number, each number at most once;
// the gaps between them need no rows (the /Index names the runs). The stream
// lists itself at `selfOffset`. /W is as narrow as the values allow; the
// rows are Flate-packed behind the PNG "Up" predictor (/Predictor 12), as
// most writers do, since rows of rising offsets differ little.
std::string XrefStreamObject(int64_t objNum, int64_t selfOffset, std::vector<TXrefStreamRow> rows,
                             const TXrefStreamTrailer& trailer);

// The smallest number of bytes that holds value (at least 1 for any value
// above 0; 0 for 0).
int32_t BytesFor(uint64_t value);

// Collects the bodies of objects that go into one object stream and writes
// it.
class TObjectStreamBuilder {
public:
    // Objects are numbered by the stream's index, in the order they are added.
    int32_t Add(int64_t objNum, std::string_view body);
    int32_t Count() const { return static_cast<int32_t>(numbers_.size()); }
    size_t BodyBytes() const { return bodies_.size(); }
    bool Empty() const { return numbers_.empty(); }
    // The stream object `objNum` holding the collected objects (Flate), from
    // "N 0 obj" to "endobj"; the builder is empty afterwards.
    std::string TakeObject(int64_t objNum);

private:
    std::vector<int64_t> numbers_;
    std::vector<size_t> offsets_;
    std::string bodies_;
};

// zlib data of the bytes at the given level, as a /FlateDecode stream holds
// them; empty when zlib fails.
std::string FlatePacked(std::string_view plain, int level);

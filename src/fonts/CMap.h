// TCMap: a character map as PDF files carry it, for both of its uses: a
// font's /ToUnicode (codes to the characters they stand for) and a
// composite font's encoding (how a string splits into codes, and the CID
// each code selects). A value type built from the map's bytes; every size
// the bytes choose is bounded, and bytes that are no CMap give an empty map.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "PdfText.h"  // AppendUtf8

class TCMap {
public:
    // Parses the program text of a CMap (the decoded stream, or a file of
    // the predefined CMaps). What cannot be read is left out.
    static TCMap Parse(std::string_view bytes);
    // The predefined maps every reader knows: Identity-H and Identity-V.
    static TCMap Identity(bool vertical);

    // No code-space range, no mapping: nothing worth keeping.
    bool Empty() const;

    // The code at the start of `bytes` and how many bytes it takes (1 to 4;
    // 0 only for empty input). Bytes that fit no range are taken as a code
    // of the shortest range's length, as other readers do.
    struct TCode {
        uint32_t value = 0;
        uint32_t length = 0;
    };
    TCode NextCode(std::string_view bytes) const;
    bool HasCodeSpace() const { return !ranges_.empty(); }
    // The code-space ranges, each as the bytes of its lowest and highest
    // code: what a map written for the same codes declares.
    std::vector<std::pair<std::string, std::string>> CodeSpaceRanges() const;

    // The characters of `code` as UTF-8; empty when the map has none.
    std::string Unicode(uint32_t code) const;
    bool HasUnicode() const { return !unicode_.empty() || !unicodeRanges_.empty(); }
    // The CID that `code` selects; the code itself where the map says
    // nothing (the identity).
    uint32_t Cid(uint32_t code) const;

    bool Vertical() const { return vertical_; }
    // The name behind "usecmap", for the caller to resolve; empty without.
    const std::string& UsedCMap() const { return usedCMap_; }
    // Takes over every range and mapping of `base` that this map lacks.
    void Inherit(const TCMap& base);

    // Limits on what one map may hold.
    static constexpr size_t kMaxRanges = 256;
    static constexpr size_t kMaxEntries = size_t{1} << 20;
    static constexpr size_t kMaxCharsPerCode = 32;

private:
    struct TCodeRange {
        uint32_t length = 0;  // bytes
        uint8_t low[4]{};
        uint8_t high[4]{};
    };
    // A run of codes whose characters count up from `first` (its last
    // UTF-16 unit grows by one per code), or whose CIDs count up from `cid`.
    struct TRange {
        uint32_t low = 0;
        uint32_t high = 0;
        std::u16string first;
        uint32_t cid = 0;
    };

    void AddUnicode(uint32_t code, std::u16string text);
    bool Full() const;

    std::vector<TCodeRange> ranges_;
    std::unordered_map<uint32_t, std::u16string> unicode_;
    std::vector<TRange> unicodeRanges_;
    std::unordered_map<uint32_t, uint32_t> cids_;
    std::vector<TRange> cidRanges_;
    std::string usedCMap_;
    bool vertical_ = false;
    bool identity_ = false;

    friend class TCMapParser;
};

// UTF-16 (as ToUnicode maps hold it) to UTF-8; an unpaired surrogate
// becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

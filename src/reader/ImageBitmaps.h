// The decoded pictures of the open document: by image record and reduction,
// the least recently used dropped once the bitmaps together exceed a byte
// budget. Pictures are decoded when a page is painted, not when the file is
// opened, so memory follows what is shown rather than the document's size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <unordered_map>

#include "Dib.h"

class TImageBitmaps {
public:
    // Shared so that a bitmap being drawn outlives its eviction.
    using TBitmap = std::shared_ptr<const TDib>;

    static constexpr size_t kDefaultBudget = size_t{12} << 20;

    explicit TImageBitmaps(size_t budgetBytes = kDefaultBudget) : budget_(budgetBytes) {}

    // The bitmap kept for the record at this reduction (now the most
    // recently used), or null when none is kept.
    TBitmap Find(int32_t imageIndex, int32_t scaleDenom);
    // Keeps the bitmap (a block without pixels records that the picture
    // cannot be decoded) and drops the least recently used beyond the
    // budget; the new one stays even when it alone exceeds it.
    TBitmap Put(int32_t imageIndex, int32_t scaleDenom, TDib dib);
    void Clear();

    size_t Bytes() const { return bytes_; }
    size_t Count() const { return entries_.size(); }
    void SetBudget(size_t budgetBytes);

private:
    struct TEntry {
        int64_t key = 0;
        TBitmap bitmap;
        size_t bytes = 0;
    };
    static int64_t Key(int32_t imageIndex, int32_t scaleDenom) {
        return int64_t{imageIndex} << 8 | (scaleDenom & 0xFF);
    }
    void Trim();

    std::list<TEntry> entries_;  // most recently used first
    std::unordered_map<int64_t, std::list<TEntry>::iterator> byKey_;
    size_t bytes_ = 0;
    size_t budget_;
};

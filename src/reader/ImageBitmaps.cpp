#include "ImageBitmaps.h"

#include <utility>

TImageBitmaps::TBitmap TImageBitmaps::Find(int32_t imageIndex, int32_t scaleDenom) {
    const auto found = byKey_.find(Key(imageIndex, scaleDenom));
    if (found == byKey_.end()) return nullptr;
    entries_.splice(entries_.begin(), entries_, found->second);
    return found->second->bitmap;
}

TImageBitmaps::TBitmap TImageBitmaps::Put(int32_t imageIndex, int32_t scaleDenom, TDib dib) {
    const int64_t key = Key(imageIndex, scaleDenom);
    if (const auto old = byKey_.find(key); old != byKey_.end()) {
        bytes_ -= old->second->bytes;
        entries_.erase(old->second);
        byKey_.erase(old);
    }
    const size_t bytes = dib.pixels.size() + dib.colorTable.size() * sizeof(uint32_t) + sizeof(TDib);
    entries_.push_front({key, std::make_shared<const TDib>(std::move(dib)), bytes});
    byKey_[key] = entries_.begin();
    bytes_ += bytes;
    Trim();
    return entries_.front().bitmap;
}

void TImageBitmaps::Clear() {
    entries_.clear();
    byKey_.clear();
    bytes_ = 0;
}

void TImageBitmaps::SetBudget(size_t budgetBytes) {
    budget_ = budgetBytes;
    Trim();
}

void TImageBitmaps::Trim() {
    while (bytes_ > budget_ && entries_.size() > 1) {
        const TEntry& last = entries_.back();
        bytes_ -= last.bytes;
        byKey_.erase(last.key);
        entries_.pop_back();
    }
}

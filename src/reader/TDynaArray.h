// TDynaArray: the one list type of the document model.
//
// Besides storage it keeps a cursor (`current`, `index`) and mirrors the
// current element into a pointer variable owned by the list's user (for
// example `curPage` for `pageList`). Much of the reader reads "the current
// record" through that variable after moving the cursor, so the cursor
// protocol below is part of the contract:
//
//   Rewind();  while (list.Next()) { use(*curVar); }   // index is one past
//
// Records are value types that own their texts and nested lists (RAII), so
// deleting or clearing releases them. Storage grows geometrically (std::vector)
// instead of in fixed steps, so a list of a million display items costs no
// quadratic copying; `capacityBytes` still reports the block size that the
// stepped growth would have requested, for callers that inspect it.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

template <typename T>
class TDynaArray {
public:
    static constexpr uint32_t growStep = 100;
    static constexpr int32_t elementSize = static_cast<int32_t>(sizeof(T));

    explicit TDynaArray(T** currentVar_ = nullptr) : currentVar(currentVar_) {}

    TDynaArray(const TDynaArray& other)
        : currentVar(other.currentVar), data(other.data), count(other.count), index(other.index),
          capacityBytes(other.capacityBytes) {
        current = Rebase(other, other.current);
    }
    TDynaArray& operator=(const TDynaArray& other) {
        if (this != &other) {
            currentVar = other.currentVar;
            data = other.data;
            count = other.count;
            index = other.index;
            capacityBytes = other.capacityBytes;
            current = Rebase(other, other.current);
        }
        return *this;
    }
    // A moved vector keeps its heap block, so `current` stays valid.
    TDynaArray(TDynaArray&& other) noexcept
        : currentVar(other.currentVar), current(other.current), data(std::move(other.data)),
          count(other.count), index(other.index), capacityBytes(other.capacityBytes) {
        other.Reset();
    }
    TDynaArray& operator=(TDynaArray&& other) noexcept {
        if (this != &other) {
            currentVar = other.currentVar;
            current = other.current;
            data = std::move(other.data);
            count = other.count;
            index = other.index;
            capacityBytes = other.capacityBytes;
            other.Reset();
        }
        return *this;
    }
    // Destruction does not write the mirrored variable.
    ~TDynaArray() = default;

    // Points the cursor at element i and mirrors it. No bounds check: callers
    // pass 0..count-1 only.
    T* Select(int32_t i) {
        index = i;
        current = data.data() + i;
        Mirror();
        return current;
    }

    // Makes the storage fit `count`; callers may raise `count` themselves and
    // then call Grow to append a run of zeroed elements in bulk.
    void Grow() {
        if (data.size() < count) data.resize(count);
        capacityBytes = StepBytes();
    }

    // Makes the storage fit `count` after a removal; frees it when empty.
    void Shrink() {
        if (data.size() > count) data.resize(count);
        if (count == 0) {
            std::vector<T>().swap(data);
        }
        capacityBytes = StepBytes();
    }

    T* Append() {
        data.emplace_back();
        count = static_cast<uint32_t>(data.size());
        capacityBytes = StepBytes();
        return Select(static_cast<int32_t>(count) - 1);
    }

    // Inserts a zeroed element at i (0..count) and selects it; null when i is
    // out of range (the list is then unchanged).
    T* Insert(int32_t i) {
        if (i < 0 || i > static_cast<int32_t>(count)) return nullptr;
        data.emplace(data.begin() + i);
        count = static_cast<uint32_t>(data.size());
        capacityBytes = StepBytes();
        return Select(i);
    }

    // Removes element i (0..count-1) and deselects, whatever was selected.
    void Delete(int32_t i) {
        if (i < 0 || i > static_cast<int32_t>(count) - 1) return;
        data.erase(data.begin() + i);
        count = static_cast<uint32_t>(data.size());
        Shrink();
        Deselect();
    }

    void Clear() {
        std::vector<T>().swap(data);
        count = 0;
        capacityBytes = 0;
        Deselect();
    }

    // Exchanges two elements; the cursor is not changed.
    void Swap(int32_t a, int32_t b) {
        const int32_t n = static_cast<int32_t>(count);
        if (a < 0 || b < 0 || a >= n || b >= n) return;
        std::swap(data[static_cast<size_t>(a)], data[static_cast<size_t>(b)]);
    }

    // On an empty list the cursor keeps its previous value.
    void Rewind() {
        if (count == 0) return;
        Select(0);
    }

    bool Advance() {
        if (count == 0 || index < -1 || index >= static_cast<int32_t>(count) - 1) return false;
        Select(index + 1);
        return true;
    }

    // Delivers the element under the cursor (current and the mirrored
    // variable point at it), then moves the cursor one forward.
    bool Next() {
        if (count == 0 || index < 0 || index >= static_cast<int32_t>(count)) return false;
        Select(index);
        index += 1;
        return true;
    }

    // Plain access for code that does not need the cursor.
    T& operator[](size_t i) { return data[i]; }
    const T& operator[](size_t i) const { return data[i]; }
    T* begin() { return data.data(); }
    T* end() { return data.data() + data.size(); }
    const T* begin() const { return data.data(); }
    const T* end() const { return data.data() + data.size(); }
    bool IsEmpty() const { return count == 0; }
    int32_t Count() const { return static_cast<int32_t>(count); }
    // Moves every element of `from` onto the end of this list; `from` is
    // cleared. No exact reserve: appending page after page must keep the
    // geometric growth, or every call would copy the whole list.
    void TakeAllFrom(TDynaArray& from) {
        for (T& element : from.data) data.push_back(std::move(element));
        count = static_cast<uint32_t>(data.size());
        capacityBytes = StepBytes();
        from.Clear();
    }

    T** currentVar = nullptr;
    T* current = nullptr;
    std::vector<T> data;
    uint32_t count = 0;
    int32_t index = -1;
    int32_t capacityBytes = 0;

private:
    void Mirror() {
        if (currentVar) *currentVar = current;
    }
    void Deselect() {
        index = -1;
        current = nullptr;
        Mirror();
    }
    void Reset() {
        current = nullptr;
        count = 0;
        index = -1;
        capacityBytes = 0;
    }
    int32_t StepBytes() const {
        if (count == 0) return 0;
        const uint64_t steps = (count - 1) / growStep + 1;
        const uint64_t bytes = steps * growStep * static_cast<uint64_t>(elementSize);
        return bytes > INT32_MAX ? INT32_MAX : static_cast<int32_t>(bytes);
    }
    T* Rebase(const TDynaArray& other, const T* p) {
        if (!p || other.data.empty()) return nullptr;
        const auto offset = p - other.data.data();
        if (offset < 0 || static_cast<size_t>(offset) >= data.size()) return nullptr;
        return data.data() + offset;
    }
};

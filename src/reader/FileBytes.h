// The bytes of the open file: mapped into memory rather than copied, so that
// opening costs little beyond what is read, and pages of pictures nobody
// looks at are never loaded. Exactly the file is mapped: nothing is
// reserved behind it, so that a file of any size opens wherever its own
// size fits into the address space.
//
// The mapping is private: the program's own saves replace a file by
// renaming a new one over it, which leaves the mapped bytes as they were.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class TFileBytes {
public:
    enum class TLoad : uint8_t {
        Loaded,
        Unreadable,  // missing, no access, not a regular file
        NoMemory,    // no room in memory or in the address space
    };

    TFileBytes() = default;
    ~TFileBytes() { Clear(); }
    TFileBytes(const TFileBytes&) = delete;
    TFileBytes& operator=(const TFileBytes&) = delete;

    // Maps the regular file at path (read into memory where it cannot be
    // mapped). The block is empty unless the file was loaded.
    TLoad Load(const std::string& path);
    // Holds a copy of the bytes instead (documents made in memory).
    void Assign(std::string_view bytes);
    template <class TIterator>
    void assign(TIterator first, TIterator last) {
        const std::string bytes(first, last);
        Assign(bytes);
    }
    void Clear();
    // Hands the memory of the mapped file pages that lie wholly inside
    // [start, end) back to the system; they are read from the file again
    // when next needed. Copying a large file's pictures through the mapping
    // would otherwise keep all of them resident. Nothing happens for bytes
    // that were read into memory.
    void Release(size_t start, size_t end) const;

    const uint8_t* data() const { return base_; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    uint8_t operator[](size_t i) const { return base_[i]; }

private:
    const uint8_t* base_ = nullptr;
    size_t size_ = 0;
    bool mapped_ = false;
    std::unique_ptr<uint8_t[]> copy_;  // the bytes where they are not mapped
};

// The bytes of the open file: mapped into memory rather than copied, so that
// opening costs little beyond what is read, and pages of pictures nobody
// looks at are never loaded. Objects taken out of object streams are
// appended behind the file's bytes in the same address range, so that every
// object of the document is read by position from one block.
//
// The mapping is private: the program's own saves replace a file by
// renaming a new one over it, which leaves the mapped bytes as they were.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class TFileBytes {
public:
    TFileBytes() = default;
    ~TFileBytes() { Clear(); }
    TFileBytes(const TFileBytes&) = delete;
    TFileBytes& operator=(const TFileBytes&) = delete;

    // Maps the regular file at path (read into memory where it cannot be
    // mapped). False when it cannot be read or is too large for 32-bit
    // offsets; the block is empty then.
    bool Load(const std::string& path);
    // Holds a copy of the bytes instead (documents made in memory).
    bool Assign(std::string_view bytes);
    template <class TIterator>
    bool assign(TIterator first, TIterator last) {
        const std::string bytes(first, last);
        return Assign(bytes);
    }
    // Appends bytes behind the file's (and earlier appended) bytes. False,
    // and nothing appended, when they would not fit.
    bool Append(std::string_view bytes);
    void Clear();
    // Hands the memory of the mapped file pages that lie wholly inside
    // [start, end) back to the system; they are read from the file again
    // when next needed. Copying a large file's pictures through the mapping
    // would otherwise keep all of them resident. Nothing happens for bytes
    // that were read into memory or appended.
    void Release(size_t start, size_t end) const;

    const uint8_t* data() const { return base_; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    uint8_t operator[](size_t i) const { return base_[i]; }

private:
    bool Reserve();
    bool MakeWritable(size_t end);

    uint8_t* base_ = nullptr;
    size_t size_ = 0;
    size_t reserved_ = 0;     // address range held, most of it without access
    size_t writableEnd_ = 0;  // bytes from the start that may be written
    size_t cleanEnd_ = 0;     // mapped file pages below this are never written
};

#include "FileBytes.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

// Offsets in the document are 32-bit: the file and what is appended to it
// stay below 2 GiB together.
constexpr size_t kMaxBytes = size_t{INT32_MAX};

constexpr size_t kMinReleaseBytes = size_t{256} << 10;

size_t PageSize() {
    static const size_t size = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    return size;
}

size_t RoundUp(size_t n) { return (n + PageSize() - 1) / PageSize() * PageSize(); }

bool ReadWhole(int fd, uint8_t* target, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t got = read(fd, target + done, size - done);
        if (got <= 0) return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

}  // namespace

bool TFileBytes::Load(const std::string& path) {
    Clear();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= 0 &&
              static_cast<uint64_t>(info.st_size) <= kMaxBytes;
    const auto fileSize = ok ? static_cast<size_t>(info.st_size) : 0;
    ok = ok && Reserve();
    if (ok && fileSize > 0) {
        // The mapping replaces the start of the reserved range; beyond the
        // last byte the page reads as zeros.
        void* mapped = mmap(base_, fileSize, PROT_READ, MAP_PRIVATE | MAP_FIXED, fd, 0);
        if (mapped == base_) {
            // Appending writes into the file's last page (a private copy).
            writableEnd_ = cleanEnd_ = fileSize / PageSize() * PageSize();
        } else {
            ok = MakeWritable(fileSize) && ReadWhole(fd, base_, fileSize);
        }
    }
    close(fd);
    if (!ok) {
        Clear();
        return false;
    }
    size_ = fileSize;
    return true;
}

bool TFileBytes::Assign(std::string_view bytes) {
    Clear();
    if (Reserve() && Append(bytes)) return true;
    Clear();
    return false;
}

bool TFileBytes::Append(std::string_view bytes) {
    if (bytes.empty()) return true;
    if (!base_ || bytes.size() > kMaxBytes - size_ || !MakeWritable(size_ + bytes.size())) return false;
    std::memcpy(base_ + size_, bytes.data(), bytes.size());
    size_ += bytes.size();
    return true;
}

void TFileBytes::Clear() {
    if (base_) munmap(base_, reserved_);
    base_ = nullptr;
    size_ = reserved_ = writableEnd_ = cleanEnd_ = 0;
}

void TFileBytes::Release(size_t start, size_t end) const {
    // Each release flushes the processor's address cache, which costs more
    // than small pictures are worth: only large ranges are handed back.
    if (end < start || end - start < kMinReleaseBytes) return;
    const size_t first = RoundUp(start);
    const size_t last = std::min(end, cleanEnd_) / PageSize() * PageSize();
    if (first < last) madvise(base_ + first, last - first, MADV_DONTNEED);
}

bool TFileBytes::Reserve() {
    // The whole range 32-bit offsets can reach is held without access (it
    // costs address space, not memory), so that appending never moves the
    // block.
    reserved_ = RoundUp(kMaxBytes) + PageSize();
    void* range = mmap(nullptr, reserved_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (range == MAP_FAILED) {
        reserved_ = 0;
        return false;
    }
    base_ = static_cast<uint8_t*>(range);
    return true;
}

bool TFileBytes::MakeWritable(size_t end) {
    if (end <= writableEnd_) return true;
    const size_t newEnd = RoundUp(end);
    // The file's own last page is copied on write; past it the reserved
    // range becomes ordinary memory.
    if (mprotect(base_ + writableEnd_, newEnd - writableEnd_, PROT_READ | PROT_WRITE) != 0) return false;
    writableEnd_ = newEnd;
    return true;
}

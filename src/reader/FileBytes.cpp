#include "FileBytes.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace {

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

TFileBytes::TLoad TFileBytes::Load(const std::string& path) {
    Clear();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return TLoad::Unreadable;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) {
        close(fd);
        return TLoad::Unreadable;
    }
    const auto fileSize = static_cast<size_t>(info.st_size);
    TLoad result = TLoad::Loaded;
    if (fileSize > 0) {
        void* mapped = mmap(nullptr, fileSize, PROT_READ, MAP_PRIVATE, fd, 0);
        if (mapped != MAP_FAILED) {
            base_ = static_cast<const uint8_t*>(mapped);
            mapped_ = true;
        } else if (errno == ENOMEM) {
            result = TLoad::NoMemory;
        } else {
            copy_.reset(new (std::nothrow) uint8_t[fileSize]);
            if (!copy_) result = TLoad::NoMemory;
            else if (!ReadWhole(fd, copy_.get(), fileSize)) result = TLoad::Unreadable;
            base_ = copy_.get();
        }
    }
    close(fd);
    if (result != TLoad::Loaded) {
        Clear();
        return result;
    }
    size_ = fileSize;
    return result;
}

void TFileBytes::Assign(std::string_view bytes) {
    Clear();
    if (bytes.empty()) return;
    copy_ = std::make_unique<uint8_t[]>(bytes.size());
    std::memcpy(copy_.get(), bytes.data(), bytes.size());
    base_ = copy_.get();
    size_ = bytes.size();
}

void TFileBytes::Clear() {
    if (mapped_) munmap(const_cast<uint8_t*>(base_), size_);
    copy_.reset();
    base_ = nullptr;
    size_ = 0;
    mapped_ = false;
}

void TFileBytes::Release(size_t start, size_t end) const {
    // Each release flushes the processor's address cache, which costs more
    // than small pictures are worth: only large ranges are handed back.
    if (!mapped_ || end < start || end - start < kMinReleaseBytes) return;
    const size_t first = RoundUp(start);
    const size_t last = std::min(end, size_) / PageSize() * PageSize();
    if (first < last) madvise(const_cast<uint8_t*>(base_) + first, last - first, MADV_DONTNEED);
}

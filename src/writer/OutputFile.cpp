#include "OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kBufferBytes = 1 << 20;

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

TSafeOutputFile::~TSafeOutputFile() {
    if (!committed_) Abort();
}

void TSafeOutputFile::Fail(int errorNumber) {
    if (!failed_) error_ = std::strerror(errorNumber);
    failed_ = true;
}

bool TSafeOutputFile::Open(const std::string& targetPath) {
    targetPath_ = targetPath;
    // Saving over a symbolic link replaces the file it points to, not the link.
    struct stat info {};
    if (lstat(targetPath.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        char resolved[PATH_MAX];
        if (realpath(targetPath.c_str(), resolved)) targetPath_ = resolved;
    }
    mode_t mode = 0;
    if (stat(targetPath_.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) {
            Fail(EISDIR);
            return false;
        }
        if (access(targetPath_.c_str(), W_OK) != 0) {
            Fail(errno);
            return false;
        }
        mode = info.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }

    std::string pattern = FolderOf(targetPath_) + "/." + BaseNameOf(targetPath_) + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd_ = mkstemp(name.data());
    if (fd_ < 0) {
        Fail(errno);
        return false;
    }
    tempPath_ = name.data();
    if (fchmod(fd_, mode) != 0) {
        Fail(errno);
        Abort();
        return false;
    }
    buffer_.reserve(kBufferBytes);
    return true;
}

void TSafeOutputFile::FlushBuffer() {
    size_t done = 0;
    while (!failed_ && done < buffer_.size()) {
        const ssize_t written = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
        if (written < 0) {
            if (errno == EINTR) continue;
            Fail(errno);
        } else {
            done += static_cast<size_t>(written);
        }
    }
    buffer_.clear();
}

void TSafeOutputFile::Write(const void* data, size_t size) {
    if (failed_ || fd_ < 0) return;
    position_ += static_cast<int64_t>(size);
    const char* bytes = static_cast<const char*>(data);
    if (buffer_.size() + size > kBufferBytes) FlushBuffer();
    if (size >= kBufferBytes) {
        buffer_.assign(bytes, bytes + size);
        FlushBuffer();
    } else {
        buffer_.insert(buffer_.end(), bytes, bytes + size);
    }
}

bool TSafeOutputFile::Commit() {
    if (fd_ < 0) return false;
    FlushBuffer();
    if (!failed_ && fsync(fd_) != 0) Fail(errno);
    if (close(fd_) != 0) Fail(errno);
    fd_ = -1;
    if (!failed_ && rename(tempPath_.c_str(), targetPath_.c_str()) != 0) Fail(errno);
    if (failed_) {
        Abort();
        return false;
    }
    committed_ = true;
    // The rename itself reaches the disk with the folder's next sync; syncing
    // the folder now makes the new name durable before we report success.
    const int folder = open(FolderOf(targetPath_).c_str(), O_RDONLY | O_DIRECTORY);
    if (folder >= 0) {
        fsync(folder);
        close(folder);
    }
    return true;
}

void TSafeOutputFile::Abort() {
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
    if (!tempPath_.empty() && !committed_) {
        unlink(tempPath_.c_str());
        tempPath_.clear();
    }
}

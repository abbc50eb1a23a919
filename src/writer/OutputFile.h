// Writing a file so that the old file of that name survives every failure:
// the bytes go to a temporary file in the target's folder, which replaces
// the target only after everything was written, flushed to disk and closed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Where the writer's bytes go: a file (TSafeOutputFile) or memory.
class TByteSink {
public:
    virtual ~TByteSink() = default;
    virtual void Write(const void* data, size_t size) = 0;
    void Write(const std::string& text) { Write(text.data(), text.size()); }
    // Bytes written so far: the position of the next byte in the file.
    virtual int64_t Position() const = 0;
};

class TStringSink : public TByteSink {
public:
    void Write(const void* data, size_t size) override { bytes.append(static_cast<const char*>(data), size); }
    using TByteSink::Write;
    int64_t Position() const override { return static_cast<int64_t>(bytes.size()); }
    std::string bytes;
};

class TSafeOutputFile : public TByteSink {
public:
    TSafeOutputFile() = default;
    TSafeOutputFile(const TSafeOutputFile&) = delete;
    TSafeOutputFile& operator=(const TSafeOutputFile&) = delete;
    // Removes the temporary file unless Commit succeeded.
    ~TSafeOutputFile();

    // Creates the temporary file beside `targetPath`. False (with
    // ErrorText) when the folder does not exist or is not writable, or when
    // the target exists but is a folder or read-only.
    bool Open(const std::string& targetPath);
    // Appends bytes; after the first failure further writes do nothing and
    // Failed() stays true.
    void Write(const void* data, size_t size) override;
    using TByteSink::Write;
    int64_t Position() const override { return position_; }
    bool Failed() const { return failed_; }
    // Flushes, syncs, closes and renames the temporary file over the target.
    // On failure the temporary file is removed and the target is untouched.
    bool Commit();
    // Gives up: the temporary file is removed.
    void Abort();

    // The system's reason for the last failure.
    const std::string& ErrorText() const { return error_; }
    const std::string& TempPath() const { return tempPath_; }

private:
    void Fail(int errorNumber);
    void FlushBuffer();

    std::string targetPath_;
    std::string tempPath_;
    int fd_ = -1;
    std::vector<char> buffer_;
    int64_t position_ = 0;
    bool failed_ = false;
    bool committed_ = false;
    std::string error_;
};

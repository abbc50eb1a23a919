// The file's bytes: mapped, with objects appended behind them in one block.
#include <gtest/gtest.h>

#include <unistd.h>

#include "FileBytes.h"
#include "TestSupport.h"

namespace {

std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

std::string Contents(const TFileBytes& file) {
    return std::string(reinterpret_cast<const char*>(file.data()), file.size());
}

TEST(FileBytes, LoadsFilesOfEverySizeAroundAPageAndAppendsBehindThem) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const std::string dir = ScratchDir("file-bytes");
    for (const size_t size : {size_t{1}, page - 1, page, page + 1, 3 * page + 17}) {
        SCOPED_TRACE(size);
        const std::string bytes = Pattern(size);
        const std::string path = dir + "/f" + std::to_string(size);
        WriteFileBytes(path, bytes);
        TFileBytes file;
        ASSERT_TRUE(file.Load(path));
        ASSERT_EQ(file.size(), size);
        EXPECT_EQ(Contents(file), bytes);
        const uint8_t* start = file.data();
        // Appending never moves the bytes already there.
        const std::string more = Pattern(2 * page + 5);
        ASSERT_TRUE(file.Append("1 0 obj\n"));
        ASSERT_TRUE(file.Append(more));
        EXPECT_EQ(file.data(), start);
        EXPECT_EQ(Contents(file), bytes + "1 0 obj\n" + more);
        // The file itself is not changed by appending to its copy.
        EXPECT_EQ(ReadFileText(path), bytes);
    }
}

TEST(FileBytes, RefusesWhatIsNotARegularFileAndTakesAnEmptyOne) {
    TFileBytes file;
    EXPECT_FALSE(file.Load(ScratchDir("file-bytes-dir")));
    EXPECT_TRUE(file.empty());
    EXPECT_EQ(file.data(), nullptr);
    EXPECT_FALSE(file.Load(ScratchDir("file-bytes-dir") + "/missing.pdf"));
    const std::string empty = ScratchDir("file-bytes-empty") + "/empty.pdf";
    WriteFileBytes(empty, "");
    ASSERT_TRUE(file.Load(empty));
    EXPECT_TRUE(file.empty());
    ASSERT_TRUE(file.Append("x"));
    EXPECT_EQ(Contents(file), "x");
}

TEST(FileBytes, AssignHoldsACopyAndClearEmpties) {
    TFileBytes file;
    const std::string bytes = "%PDF-1.4\n" + Pattern(10000);
    ASSERT_TRUE(file.assign(bytes.begin(), bytes.end()));
    EXPECT_EQ(Contents(file), bytes);
    EXPECT_EQ(file[0], '%');
    ASSERT_TRUE(file.Append("tail"));
    EXPECT_EQ(Contents(file), bytes + "tail");
    file.Clear();
    EXPECT_TRUE(file.empty());
    EXPECT_EQ(file.data(), nullptr);
}

// Handing mapped pages back only costs reading them again: the bytes read
// the same, and what was appended into the file's last page or held as a
// copy (memory the system would hand back as zeros) is never given up.
TEST(FileBytes, ReleasedPagesReadTheSameAndAppendedBytesStay) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const std::string dir = ScratchDir("file-bytes-release");
    // Large enough to be handed back: the size of a photo.
    const size_t large = (size_t{1} << 20) + 3 * page;
    for (const size_t size : {page - 1, large, large + 100}) {
        SCOPED_TRACE(size);
        const std::string bytes = Pattern(size);
        const std::string path = dir + "/f" + std::to_string(size);
        WriteFileBytes(path, bytes);
        TFileBytes file;
        ASSERT_TRUE(file.Load(path));
        const std::string more = Pattern(page + 3);
        ASSERT_TRUE(file.Append(more));
        EXPECT_EQ(Contents(file), bytes + more);  // every page read once
        file.Release(0, file.size());
        file.Release(1, size - 1);
        EXPECT_EQ(Contents(file), bytes + more);
    }
    TFileBytes copy;
    const std::string bytes = Pattern(large);
    ASSERT_TRUE(copy.Assign(bytes));
    copy.Release(0, copy.size());
    EXPECT_EQ(Contents(copy), bytes);
}

}  // namespace

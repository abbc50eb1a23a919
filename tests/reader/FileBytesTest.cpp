// The file's bytes: mapped exactly, nothing reserved behind them; and the
// file owner's two spans (the file, the objects taken out of object
// streams), each read by its own positions.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "FileBytes.h"
#include "PdfFile.h"
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

TEST(FileBytes, LoadsFilesOfEverySizeAroundAPage) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const std::string dir = ScratchDir("file-bytes");
    for (const size_t size : {size_t{1}, page - 1, page, page + 1, 3 * page + 17}) {
        SCOPED_TRACE(size);
        const std::string bytes = Pattern(size);
        const std::string path = dir + "/f" + std::to_string(size);
        WriteFileBytes(path, bytes);
        TFileBytes file;
        ASSERT_EQ(file.Load(path), TFileBytes::TLoad::Loaded);
        ASSERT_EQ(file.size(), size);
        EXPECT_EQ(Contents(file), bytes);
    }
}

TEST(FileBytes, RefusesWhatIsNotARegularFileAndTakesAnEmptyOne) {
    TFileBytes file;
    EXPECT_EQ(file.Load(ScratchDir("file-bytes-dir")), TFileBytes::TLoad::Unreadable);
    EXPECT_TRUE(file.empty());
    EXPECT_EQ(file.data(), nullptr);
    EXPECT_EQ(file.Load(ScratchDir("file-bytes-dir") + "/missing.pdf"), TFileBytes::TLoad::Unreadable);
    const std::string empty = ScratchDir("file-bytes-empty") + "/empty.pdf";
    WriteFileBytes(empty, "");
    ASSERT_EQ(file.Load(empty), TFileBytes::TLoad::Loaded);
    EXPECT_TRUE(file.empty());
}

TEST(FileBytes, AssignHoldsACopyAndClearEmpties) {
    TFileBytes file;
    const std::string bytes = "%PDF-1.4\n" + Pattern(10000);
    file.assign(bytes.begin(), bytes.end());
    EXPECT_EQ(Contents(file), bytes);
    EXPECT_EQ(file[0], '%');
    file.Clear();
    EXPECT_TRUE(file.empty());
    EXPECT_EQ(file.data(), nullptr);
}

// Handing mapped pages back only costs reading them again: the bytes read
// the same, and a copy (memory the system would hand back as zeros) is
// never given up.
TEST(FileBytes, ReleasedPagesReadTheSame) {
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
        ASSERT_EQ(file.Load(path), TFileBytes::TLoad::Loaded);
        EXPECT_EQ(Contents(file), bytes);  // every page read once
        file.Release(0, file.size());
        file.Release(1, size - 1);
        EXPECT_EQ(Contents(file), bytes);
    }
    TFileBytes copy;
    const std::string bytes = Pattern(large);
    copy.Assign(bytes);
    copy.Release(0, copy.size());
    EXPECT_EQ(Contents(copy), bytes);
}

// A file larger than the address space allowed is memory's fault, and says
// so; no address space is held beyond the file. Run in a child process, so
// that the limit stays there.
TEST(FileBytes, AFileLargerThanTheAddressSpaceAllowedIsNoMemory) {
    const std::string path = ScratchDir("file-bytes-limit") + "/large.bin";
    {
        WriteFileBytes(path, "x");
        ASSERT_EQ(truncate(path.c_str(), off_t{1} << 30), 0);
    }
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit limit{rlim_t{512} << 20, rlim_t{512} << 20};
        setrlimit(RLIMIT_AS, &limit);
        TFileBytes file;
        const TFileBytes::TLoad load = file.Load(path);
        _exit(load == TFileBytes::TLoad::NoMemory ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    unlink(path.c_str());
}

// The objects taken out of an object stream stand behind the file's end
// (with a gap) in a block of their own: reading there never mixes the two,
// and reading past the file's end gives filler, never an object's bytes.
TEST(PdfFile, ObjectsOfObjectStreamsAreASpanOfTheirOwn) {
    TPdfFile file;
    const std::string pdf = ReadFileText(DataPath("xref/gs-std14-objstm.pdf"));
    ASSERT_FALSE(pdf.empty());
    file.Assign(pdf);
    ASSERT_TRUE(file.BuildObjectTable());
    const TFilePos end = file.SourceSize();
    bool sawTakenOut = false;
    for (int32_t num = 1; num < file.ObjCount(); ++num) {
        const auto pos = file.ObjectPos(num);
        if (!pos || *pos < end) continue;
        sawTakenOut = true;
        const TByteSpan span = file.SpanAt(*pos);
        EXPECT_GT(span.begin, end);
        EXPECT_TRUE(span.Holds(*pos));
        EXPECT_EQ(span.View(*pos, 5).substr(0, std::to_string(num).size()), std::to_string(num));
        ASSERT_TRUE(file.FetchObject(num));
        EXPECT_FALSE(file.ReadToken().empty());
    }
    EXPECT_TRUE(sawTakenOut);
    // Past the file's last byte: filler tokens, not the first taken-out object.
    file.SetPos(end);
    EXPECT_EQ(file.ReadToken(), "");
    EXPECT_EQ(file.SpanAt(end).end, end);
}

}  // namespace

namespace {

// A file with a correct classic table; `gaps[i]` blanks stand between the
// header of object i + 1 and its value.
std::string TableFile(const std::vector<std::string>& bodies, const std::vector<int>& gaps) {
    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < bodies.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj" + std::string(static_cast<size_t>(gaps[i]) + 1, '\n') + bodies[i] +
               "\nendobj\n";
    }
    const size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(bodies.size() + 1) + "\n0000000000 65535 f \n";
    for (const size_t offset : offsets) {
        const std::string digits = std::to_string(offset);
        pdf += std::string(10 - digits.size(), '0') + digits + " 00000 n \n";
    }
    pdf += "trailer\n<< /Size " + std::to_string(bodies.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

}  // namespace

// Where an object's value starts is remembered for the table it was found
// in: the same number in the next file read by the same owner, or in the
// table rebuilt for the same bytes, is looked up anew.
TEST(PdfFile, FetchedPositionsBelongToTheirTable) {
    TPdfFile file;
    const std::vector<std::string> bodies = {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [] /Count 0 >>",
                                             "(third)"};
    file.Assign(TableFile(bodies, {0, 0, 40}));
    ASSERT_TRUE(file.BuildObjectTable());
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(file.FetchObject(3));
        EXPECT_EQ(file.ReadToken(), "(third)") << round;
        ASSERT_TRUE(file.FetchObject(2));
        EXPECT_EQ(file.ReadToken(), "<<") << round;
        EXPECT_EQ(file.ReadToken(), "/Type") << round;
    }
    // Object 3 stands elsewhere and right behind its header.
    file.Assign(TableFile({bodies[0], "<< /Type /Pages /Kids [] /Count 0 /Extra (long enough to move) >>", "(other)"},
                          {5, 0, 0}));
    ASSERT_TRUE(file.BuildObjectTable());
    ASSERT_TRUE(file.FetchObject(3));
    EXPECT_EQ(file.ReadToken(), "(other)");
    ASSERT_TRUE(file.FetchObject(1));
    EXPECT_EQ(file.ReadToken(), "<<");
    // A table read again from the same bytes finds the same places.
    ASSERT_TRUE(file.BuildObjectTable());
    ASSERT_TRUE(file.FetchObject(3));
    EXPECT_EQ(file.ReadToken(), "(other)");
}

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "Filters.h"
#include "TestSupport.h"

namespace {

std::string Text(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

std::string A85(const std::string& coded) { return Text(ASCII85Decode(reinterpret_cast<const uint8_t*>(coded.data()), coded.size())); }

std::vector<uint8_t> DeflateBytes(const std::string& plain) {
    const std::string coded = Deflate(plain);
    return {coded.begin(), coded.end()};
}

struct TA85Case {
    const char* coded;
    std::string plain;
};

TEST(ASCII85, DecodesGroupsShortGroupsAndZeros) {
    const TA85Case cases[] = {
        {"9jqo^~>\r\n", "Man "},
        {":ddb~>", "PDF"},
        {"z~>", std::string(4, '\0')},
        {"9jqo^", "Man "},                           // no end marker at all
        {"9j qo\n^~>", "Man "},                      // blanks inside a group are skipped
        {"9jqo^z:ddb~>", "Man " + std::string(4, '\0') + "PDF"},
        {"9jqo^:~>", "Man "},                        // one leftover digit gives nothing
        {"9jqo^EW~>", "Man r"},                      // two digits give one byte
        {"9jqo^~> \r\n", "Man "},                    // blanks behind the marker are not digits
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(A85(c.coded), c.plain) << "coded: " << c.coded;
}

TEST(ASCII85, ZInsideAGroupIsNotAZeroRun) {
    // "z" only abbreviates a whole group; inside one it is skipped.
    EXPECT_EQ(A85("9jzqo^~>"), "Man ");
}

TEST(ASCII85, LargestGroupWrapsTo32Bits) {
    // "s8W-!" is 0xFFFFFFFF; "uuuuu" lies beyond 32 bits and keeps the low ones.
    EXPECT_EQ(A85("s8W-!~>"), std::string(4, '\xFF'));
    EXPECT_EQ(A85("uuuuu~>").size(), 4u);
}

TEST(Flate, DecodesWhatZlibCompressed) {
    std::string plain;
    for (int i = 0; i < 20000; ++i) plain += "BT /F1 12 Tf (" + std::to_string(i) + ") Tj ET\n";
    const auto coded = DeflateBytes(plain);
    // A far too small first estimate must not matter.
    EXPECT_EQ(Text(FlateDecode(coded.data(), coded.size(), 1)), plain);
    EXPECT_EQ(Text(FlateDecode(coded.data(), coded.size(), coded.size() * 10)), plain);
}

TEST(Flate, CutOffDataKeepWhatWasDecoded) {
    std::string plain;
    for (int i = 0; i < 2000; ++i) plain += std::to_string(i * 7919 % 1000) + " ";
    const auto coded = DeflateBytes(plain);
    // Without the checksum and the last block's end the data still decode,
    // and say that they are only the start.
    const TInflated cut = Inflate(coded.data(), coded.size() - 6, 0);
    ASSERT_GT(cut.bytes.size(), plain.size() / 2);
    EXPECT_EQ(Text(cut.bytes), plain.substr(0, cut.bytes.size()));
    EXPECT_TRUE(cut.cutShort);
    // Many writers leave out only the checksum: the data are whole.
    for (const size_t missing : {size_t{1}, size_t{4}}) {
        const TInflated unsummed = Inflate(coded.data(), coded.size() - missing, 0);
        EXPECT_EQ(Text(unsummed.bytes), plain) << missing;
        EXPECT_FALSE(unsummed.cutShort) << missing;
    }
    EXPECT_FALSE(Inflate(coded.data(), coded.size(), 0).cutShort);
    std::vector<uint8_t> data(coded.begin(), coded.end() - 6);
    EXPECT_TRUE(DecodeFilters({"/FlateDecode"}, TPredictorParms{}, data).cutShort);
}

TEST(Flate, CorruptDataThrowWithZlibsReason) {
    const std::string garbage = "this is not zlib data at all";
    try {
        FlateDecode(reinterpret_cast<const uint8_t*>(garbage.data()), garbage.size(), 0);
        FAIL() << "no exception";
    } catch (const TDecodeError& error) {
        EXPECT_EQ(error.failure, TDecodeFailure::Corrupt);
        EXPECT_EQ(std::string(error.what()).rfind("zlib: ", 0), 0u) << error.what();
    }
    // A damaged block in the middle of valid data.
    auto coded = DeflateBytes(std::string(5000, 'a') + "xyz" + std::string(5000, 'b'));
    coded[2] = 0xFF;
    EXPECT_THROW(FlateDecode(coded.data(), coded.size(), 0), TDecodeError);
}

// Other readers show what inflated before damage; so do we.
TEST(Flate, CorruptDataKeepWhatInflatedBeforeTheDamage) {
    std::string plain;
    for (int i = 0; i < 3000; ++i) plain += "BT (" + std::to_string(i) + ") Tj ET\n";
    const auto corrupted = [&](size_t fromEnd) {
        auto coded = DeflateBytes(plain);
        coded[coded.size() - fromEnd] ^= 0x5A;
        try {
            FlateDecode(coded.data(), coded.size(), 0);
            ADD_FAILURE() << "no exception";
        } catch (const TDecodeError& error) {
            return Text(error.kept);
        }
        return std::string();
    };
    // Only the checksum is wrong: all of the data are kept.
    EXPECT_TRUE(corrupted(1) == plain);
    // A damaged last block: what came before it is intact (what the damaged
    // bits inflated to before zlib noticed may follow).
    const std::string kept = corrupted(40);
    EXPECT_GT(kept.size(), plain.size() / 2);
    EXPECT_TRUE(kept.compare(0, plain.size() / 2, plain, 0, plain.size() / 2) == 0);

    // Damage in the header: nothing inflated, nothing kept.
    auto coded = DeflateBytes(plain);
    coded[0] = 0x00;
    try {
        FlateDecode(coded.data(), coded.size(), 0);
        FAIL() << "no exception";
    } catch (const TDecodeError& error) {
        EXPECT_TRUE(error.kept.empty());
    }
}

TEST(Flate, KeptBytesGoThroughTheFiltersBehindFlate) {
    auto coded = DeflateBytes("3c3c2f41203120303e3e");  // "<</A 1 0>>" in hex
    coded.back() ^= 0x01;
    std::vector<uint8_t> data = coded;
    try {
        DecodeFilters({"/FlateDecode", "/AHx"}, TPredictorParms{}, data);
        FAIL() << "no exception";
    } catch (const TDecodeError& error) {
        EXPECT_EQ(Text(error.kept), "<</A 1 0>>");
    }
    // Behind the damage a filter we cannot decode: the bytes are of no use.
    data = coded;
    try {
        DecodeFilters({"/Fl", "/RunLengthDecode"}, TPredictorParms{}, data);
        FAIL() << "no exception";
    } catch (const TDecodeError& error) {
        EXPECT_TRUE(error.kept.empty());
    }
}

TEST(Flate, DecompressionBombIsRefused) {
    // One MiB of zeros compressed with a full flush is a block that does not
    // refer back, so 300 copies behind the zlib header inflate to 300 MiB
    // (the missing checksum is never reached).
    z_stream stream{};
    ASSERT_EQ(deflateInit(&stream, Z_BEST_COMPRESSION), Z_OK);
    std::vector<uint8_t> zeros(1 << 20, 0);
    std::vector<uint8_t> block(1 << 16);
    stream.next_in = zeros.data();
    stream.avail_in = static_cast<uInt>(zeros.size());
    stream.next_out = block.data();
    stream.avail_out = static_cast<uInt>(block.size());
    ASSERT_EQ(deflate(&stream, Z_FULL_FLUSH), Z_OK);
    ASSERT_EQ(stream.avail_in, 0u);
    block.resize(block.size() - stream.avail_out);
    deflateEnd(&stream);
    std::vector<uint8_t> coded(block.begin(), block.begin() + 2);  // the zlib header
    for (int mib = 0; mib < 300; ++mib) coded.insert(coded.end(), block.begin() + 2, block.end());
    const size_t codedSize = coded.size();
    try {
        FlateDecode(coded.data(), codedSize, 0);
        FAIL() << "no exception";
    } catch (const TDecodeError& error) {
        EXPECT_EQ(error.failure, TDecodeFailure::TooLarge);
        EXPECT_TRUE(error.kept.empty());
    }
}

// Content streams of the corpus file coded with /LZWDecode, against qpdf's
// decoding (qpdf --show-object=N --filtered-stream-data).
TEST(LZW, CorpusContentMatchesQpdf) {
    const auto file = ReadFileBytes(CorpusPath("lzw-content-v12.pdf"));
    const std::string pdf(file.begin(), file.end());
    for (int objNum : {7, 9, 11}) {
        const std::string header = std::string("\n").append(std::to_string(objNum)).append(" 0 obj");
        const size_t objPos = pdf.find(header);
        ASSERT_NE(objPos, std::string::npos);
        const size_t lengthPos = pdf.find("/Length ", objPos);
        const size_t length = std::stoul(pdf.substr(lengthPos + 8));
        size_t dataPos = pdf.find("stream", objPos) + 6;
        if (pdf[dataPos] == '\r') ++dataPos;
        if (pdf[dataPos] == '\n') ++dataPos;
        const auto decoded = LZWDecode(file.data() + dataPos, length);
        const std::string expected =
            ReadFileText(DataPath("streams/lzw-content-v12-obj" + std::to_string(objNum) + ".txt"));
        EXPECT_EQ(Text(decoded), expected) << "object " << objNum;
    }
}

// 40 KB coded by Ghostscript's LZWEncode: the code width grows to 12 bits
// and the table is cleared several times.
TEST(LZW, LongDataWithClearCodes) {
    const auto coded = ReadFileBytes(DataPath("streams/lzw-gs-40k.lzw"));
    const std::string plain = ReadFileText(DataPath("streams/lzw-gs-40k.txt"));
    EXPECT_EQ(Text(LZWDecode(coded.data(), coded.size())), plain);
}

TEST(LZW, DamagedDataKeepTheDecodedStart) {
    auto coded = ReadFileBytes(DataPath("streams/lzw-gs-40k.lzw"));
    const std::string plain = ReadFileText(DataPath("streams/lzw-gs-40k.txt"));
    // Cut in the middle: the beginning survives.
    const auto half = LZWDecode(coded.data(), coded.size() / 2);
    ASSERT_GT(half.size(), plain.size() / 3);
    EXPECT_EQ(Text(half), plain.substr(0, half.size()));
    // A 9-bit code far ahead of the table (511 right after the first
    // code) ends the data after what came before.
    const std::vector<uint8_t> bad = {0x80, 0x10, 0x7F, 0xE0};  // codes 256, 65 ('A'), 511
    EXPECT_EQ(Text(LZWDecode(bad.data(), bad.size())), "A");
    EXPECT_TRUE(LZWDecode(nullptr, 0).empty());
}

}  // namespace

#include "Filters.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

namespace {

constexpr size_t kMinFlateBuffer = 4096;

[[noreturn]] void ThrowCorrupt(const std::string& reason, std::vector<uint8_t> kept = {}) {
    throw TDecodeError(TDecodeFailure::Corrupt, reason, std::move(kept));
}

[[noreturn]] void ThrowTooLarge() {
    throw TDecodeError(TDecodeFailure::TooLarge, "more than 256 MiB");
}

std::string ZlibReason(int code, const z_stream& stream) {
    std::string reason = "zlib: ";
    reason += stream.msg ? stream.msg : zError(code);
    return reason;
}

// Hands zlib the next piece of input once it has used up the last one.
// avail_in is 32 bits wide, so larger inputs go in pieces.
void FeedInput(z_stream& stream, const uint8_t* data, size_t size, size_t& consumed) {
    if (stream.avail_in != 0 || consumed >= size) return;
    const size_t piece = std::min<size_t>(size - consumed, UINT_MAX);
    stream.next_in = const_cast<Bytef*>(data + consumed);
    stream.avail_in = static_cast<uInt>(piece);
    consumed += piece;
}

// Whether deflate data that zlib found short of their end still hold the
// whole of their last block, only the checksum behind it missing. zlib does
// not tell, so the blocks behind the header are inflated once more as raw
// deflate, which ends at the last block.
bool OnlyChecksumMissing(const uint8_t* data, size_t size) {
    if (size < 2) return false;
    size_t header = 2;
    if (data[1] & 0x20) header += 4;  // a preset dictionary's id
    if (size <= header) return false;
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return false;
    std::vector<uint8_t> scratch(64 * 1024);
    size_t consumed = header;
    int code = Z_OK;
    for (;;) {
        FeedInput(stream, data, size, consumed);
        stream.next_out = scratch.data();
        stream.avail_out = static_cast<uInt>(scratch.size());
        code = inflate(&stream, Z_NO_FLUSH);
        if (code == Z_OK) continue;
        if (code == Z_BUF_ERROR && stream.avail_out == 0) continue;
        break;
    }
    inflateEnd(&stream);
    return code == Z_STREAM_END;
}

}  // namespace

TInflated Inflate(const uint8_t* data, size_t size, size_t sizeEstimate) {
    z_stream stream{};
    int code = inflateInit(&stream);
    if (code != Z_OK) ThrowCorrupt(ZlibReason(code, stream));

    // One byte of room beyond the cap tells "exactly at the cap" from "more".
    // The work buffer is left uninitialised: the estimate is often ten times
    // what the data need, and zero-filling it costs more than inflating.
    const size_t limit = kMaxDecodedBytes + 1;
    size_t capacity = std::clamp(sizeEstimate, kMinFlateBuffer, limit);
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[capacity]);
    size_t produced = 0;
    size_t consumed = 0;
    bool cutShort = false;
    for (;;) {
        FeedInput(stream, data, size, consumed);
        if (produced == capacity) {
            if (capacity >= limit) {
                inflateEnd(&stream);
                ThrowTooLarge();
            }
            capacity = std::min(capacity * 2, limit);
            std::unique_ptr<uint8_t[]> grown(new uint8_t[capacity]);
            std::memcpy(grown.get(), buffer.get(), produced);
            buffer = std::move(grown);
        }
        const size_t room = std::min<size_t>(capacity - produced, UINT_MAX);
        stream.next_out = buffer.get() + produced;
        stream.avail_out = static_cast<uInt>(room);
        code = inflate(&stream, Z_NO_FLUSH);
        produced += room - stream.avail_out;
        if (code == Z_STREAM_END) break;
        if (code == Z_OK) continue;
        // No progress with room left and no input left: the data stop before
        // their end marker. Keep what they gave.
        if (code == Z_BUF_ERROR && stream.avail_in == 0 && consumed == size && stream.avail_out > 0) {
            cutShort = !OnlyChecksumMissing(data, size);
            break;
        }
        if (code == Z_BUF_ERROR) continue;
        const std::string reason = ZlibReason(code, stream);
        inflateEnd(&stream);
        ThrowCorrupt(reason, std::vector<uint8_t>(buffer.get(), buffer.get() + produced));
    }
    inflateEnd(&stream);
    if (produced > kMaxDecodedBytes) ThrowTooLarge();
    return {std::vector<uint8_t>(buffer.get(), buffer.get() + produced), cutShort};
}

std::vector<uint8_t> ASCII85Decode(const uint8_t* data, size_t size) {
    size_t end = size;
    while (end > 0 && (data[end - 1] == 13 || data[end - 1] == 10)) --end;
    if (end >= 2 && data[end - 2] == '~' && data[end - 1] == '>') end -= 2;

    std::vector<uint8_t> out;
    out.reserve(end / 5 * 4 + 4);
    std::array<uint32_t, 5> digits{};
    int count = 0;
    auto emit = [&](int bytes) {
        uint64_t value = 0;
        for (uint32_t d : digits) value = value * 85 + d;
        // Five "u" exceed 32 bits; like every decoder we keep the low 32.
        for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (24 - 8 * i)));
    };
    // "z" makes four bytes of one: a file full of them must not make gigabytes.
    for (size_t i = 0; i < end && out.size() < kMaxDecodedBytes; ++i) {
        const uint8_t ch = data[i];
        if (ch == '~') break;
        if (ch == 'z' && count == 0) {
            out.insert(out.end(), 4, 0);
            continue;
        }
        if (ch < '!' || ch > 'u') continue;
        digits[static_cast<size_t>(count++)] = ch - 33u;
        if (count == 5) {
            emit(4);
            count = 0;
        }
    }
    if (count >= 2) {
        for (int i = count; i < 5; ++i) digits[static_cast<size_t>(i)] = 84;
        emit(count - 1);
    }
    return out;
}

namespace {

constexpr int kClearCode = 256;
constexpr int kEndCode = 257;
constexpr int kFirstFreeCode = 258;
constexpr int kMaxCodes = 4096;

// Reads codes most significant bit first.
class TBitReader {
public:
    TBitReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    // -1 when fewer than `width` bits are left.
    int Read(int width) {
        while (bitCount_ < width) {
            if (pos_ >= size_) return -1;
            buffer_ = (buffer_ << 8) | data_[pos_++];
            bitCount_ += 8;
        }
        bitCount_ -= width;
        return static_cast<int>((buffer_ >> bitCount_) & ((1u << width) - 1));
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    uint32_t buffer_ = 0;
    int bitCount_ = 0;
};

// The string table: each code is its prefix code plus one byte.
struct TLzwTable {
    std::array<uint16_t, kMaxCodes> prefix{};
    std::array<uint16_t, kMaxCodes> length{};
    std::array<uint8_t, kMaxCodes> last{};
    std::array<uint8_t, kMaxCodes> first{};

    TLzwTable() {
        for (int c = 0; c < 256; ++c) {
            length[static_cast<size_t>(c)] = 1;
            last[static_cast<size_t>(c)] = first[static_cast<size_t>(c)] = static_cast<uint8_t>(c);
        }
    }
    // Appends the string of `code` to out. Strings are at most kMaxCodes
    // long, as each entry is one byte longer than an earlier one.
    void Emit(int code, std::vector<uint8_t>& out) const {
        const size_t len = length[static_cast<size_t>(code)];
        const size_t start = out.size();
        out.resize(start + len);
        for (size_t i = len; i > 0; --i) {
            out[start + i - 1] = last[static_cast<size_t>(code)];
            code = prefix[static_cast<size_t>(code)];
        }
    }
};

}  // namespace

std::vector<uint8_t> LZWDecode(const uint8_t* data, size_t size, bool earlyChange) {
    std::vector<uint8_t> out;
    out.reserve(std::min(size * 3, kMaxDecodedBytes));
    auto table = std::make_unique<TLzwTable>();
    TBitReader bits(data, size);
    const int early = earlyChange ? 1 : 0;
    int nextCode = kFirstFreeCode;
    int width = 9;
    int previous = -1;
    while (out.size() < kMaxDecodedBytes) {
        const int code = bits.Read(width);
        if (code < 0 || code == kEndCode) break;
        if (code == kClearCode) {
            nextCode = kFirstFreeCode;
            width = 9;
            previous = -1;
            continue;
        }
        if (previous < 0) {
            if (code > 255) break;  // right after a clear only single bytes exist
            table->Emit(code, out);
            previous = code;
            continue;
        }
        // code == nextCode is the string being defined right now: the
        // previous string plus its own first byte.
        if (code > nextCode || (code == nextCode && nextCode >= kMaxCodes)) break;
        if (nextCode < kMaxCodes) {
            const auto entry = static_cast<size_t>(nextCode);
            const auto prev = static_cast<size_t>(previous);
            table->prefix[entry] = static_cast<uint16_t>(previous);
            table->length[entry] = static_cast<uint16_t>(table->length[prev] + 1);
            table->first[entry] = table->first[prev];
            table->last[entry] = code == nextCode ? table->first[prev] : table->first[static_cast<size_t>(code)];
            ++nextCode;
        }
        table->Emit(code, out);
        previous = code;
        const int reach = nextCode + early;
        width = reach >= 2048 ? 12 : reach >= 1024 ? 11 : reach >= 512 ? 10 : 9;
    }
    if (out.size() > kMaxDecodedBytes) out.resize(kMaxDecodedBytes);
    return out;
}

TPredictorParms ReadPredictorParms(const std::vector<std::string>& tokens) {
    TPredictorParms parms;
    bool seenPredictor = false;
    for (size_t i = 0; i + 1 < tokens.size(); ++i) {
        const std::string& key = tokens[i];
        char* end = nullptr;
        const long value = std::strtol(tokens[i + 1].c_str(), &end, 10);
        if (end == tokens[i + 1].c_str() || *end != 0) continue;
        if (key == "/Predictor" && !seenPredictor && value >= 1 && value <= 15) {
            parms.predictor = static_cast<int>(value);
            seenPredictor = true;
        } else if (key == "/Colors" && value >= 1 && value <= 32) {
            parms.colors = static_cast<int>(value);
        } else if (key == "/BitsPerComponent" && (value == 1 || value == 2 || value == 4 || value == 8 || value == 16)) {
            parms.bitsPerComponent = static_cast<int>(value);
        } else if (key == "/Columns" && value >= 1 && value <= (1 << 24)) {
            parms.columns = static_cast<int>(value);
        }
    }
    return parms;
}

namespace {

uint8_t Paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
    return static_cast<uint8_t>(pb <= pc ? b : c);
}

}  // namespace

namespace {
size_t PredictorRowBytes(const TPredictorParms& parms) {
    const size_t bitsPerPixel = static_cast<size_t>(parms.colors) * static_cast<size_t>(parms.bitsPerComponent);
    return (bitsPerPixel * static_cast<size_t>(parms.columns) + 7) / 8;
}
}  // namespace

size_t UnpredictedSize(size_t dataSize, const TPredictorParms& parms) {
    if (parms.predictor < 10) return dataSize;
    // PNG rows: a filter byte, then the row.
    const size_t rowBytes = PredictorRowBytes(parms);
    return dataSize / (rowBytes + 1) * rowBytes;
}

std::vector<uint8_t> Unpredict(const std::vector<uint8_t>& data, const TPredictorParms& parms) {
    if (parms.predictor != 2 && parms.predictor < 10) return data;
    const size_t bitsPerPixel = static_cast<size_t>(parms.colors) * static_cast<size_t>(parms.bitsPerComponent);
    const size_t rowBytes = PredictorRowBytes(parms);
    const size_t pixelBytes = std::max<size_t>(1, (bitsPerPixel + 7) / 8);
    std::vector<uint8_t> out;
    if (parms.predictor == 2) {
        out = data;
        // Only whole-byte components are undone; fewer bits are rare enough
        // to be left as they are.
        if (parms.bitsPerComponent != 8) return out;
        for (size_t row = 0; row + rowBytes <= out.size(); row += rowBytes)
            for (size_t i = pixelBytes; i < rowBytes; ++i) out[row + i] = static_cast<uint8_t>(out[row + i] + out[row + i - pixelBytes]);
        return out;
    }
    // PNG: every row starts with its own filter byte.
    const size_t inRow = rowBytes + 1;
    out.reserve(data.size() / inRow * rowBytes);
    std::vector<uint8_t> previous(rowBytes, 0);
    for (size_t pos = 0; pos + inRow <= data.size(); pos += inRow) {
        const uint8_t type = data[pos];
        const uint8_t* in = data.data() + pos + 1;
        const size_t start = out.size();
        out.resize(start + rowBytes);
        uint8_t* row = out.data() + start;
        for (size_t i = 0; i < rowBytes; ++i) {
            const int left = i >= pixelBytes ? row[i - pixelBytes] : 0;
            const int up = previous[i];
            const int upLeft = i >= pixelBytes ? previous[i - pixelBytes] : 0;
            int value = in[i];
            switch (type) {
                case 1: value += left; break;
                case 2: value += up; break;
                case 3: value += (left + up) / 2; break;
                case 4: value += Paeth(left, up, upLeft); break;
                default: break;
            }
            row[i] = static_cast<uint8_t>(value);
        }
        std::memcpy(previous.data(), row, rowBytes);
    }
    return out;
}

std::vector<uint8_t> ASCIIHexDecode(const uint8_t* data, size_t size) {
    std::vector<uint8_t> out;
    out.reserve(size / 2 + 1);
    int high = -1;
    for (size_t i = 0; i < size; ++i) {
        const uint8_t ch = data[i];
        if (ch == '>') break;
        int digit;
        if (ch >= '0' && ch <= '9') digit = ch - '0';
        else if (ch >= 'a' && ch <= 'f') digit = ch - 'a' + 10;
        else if (ch >= 'A' && ch <= 'F') digit = ch - 'A' + 10;
        else continue;
        if (high < 0) {
            high = digit;
        } else {
            out.push_back(static_cast<uint8_t>(high << 4 | digit));
            high = -1;
        }
    }
    if (high >= 0) out.push_back(static_cast<uint8_t>(high << 4));
    return out;
}

TFiltered DecodeFilters(const std::vector<std::string>& filters, const TPredictorParms& parms,
                        std::vector<uint8_t>& data) {
    TFiltered outcome;
    // The first damage found; the bytes inflated before it go on through
    // the rest of the filters and are thrown with it at the end.
    std::optional<TDecodeError> damage;
    for (const std::string& filter : filters) {
        if (filter == "/FlateDecode" || filter == "/Fl") {
            try {
                TInflated inflated = Inflate(data.data(), data.size(), data.size() * 10);
                outcome.cutShort = outcome.cutShort || inflated.cutShort;
                data = Unpredict(inflated.bytes, parms);
            } catch (TDecodeError& error) {
                if (error.kept.empty()) throw;
                data = Unpredict(error.kept, parms);
                error.kept.clear();
                if (!damage) damage.emplace(std::move(error));
            }
        } else if (filter == "/LZWDecode" || filter == "/LZW") {
            data = Unpredict(LZWDecode(data.data(), data.size()), parms);
        } else if (filter == "/ASCII85Decode" || filter == "/A85") {
            data = ASCII85Decode(data.data(), data.size());
        } else if (filter == "/ASCIIHexDecode" || filter == "/AHx") {
            data = ASCIIHexDecode(data.data(), data.size());
        } else {
            // Bytes still coded by a filter we lack are no use to anyone.
            if (damage) throw TDecodeError(damage->failure, damage->what());
            outcome.unsupported = &filter;
            return outcome;
        }
    }
    if (damage) {
        damage->kept = std::move(data);
        data.clear();
        throw *damage;
    }
    return outcome;
}

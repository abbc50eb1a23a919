// Stream decoders: pure functions from coded bytes to decoded bytes.
//
// Every decoder bounds its output by kMaxDecodedBytes, so a small stream
// that expands without end (a "decompression bomb") cannot exhaust memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

// The most bytes one stream may decode to (256 MiB).
constexpr size_t kMaxDecodedBytes = size_t{256} << 20;

// Why Flate data cannot be decoded.
enum class TDecodeFailure : uint8_t {
    Corrupt,   // zlib refuses them; what() holds zlib's own words
    TooLarge,  // they decode to more than kMaxDecodedBytes
};

// Flate data that cannot be decoded.
class TDecodeError : public std::runtime_error {
public:
    TDecodeError(TDecodeFailure why, const std::string& zlibMessage, std::vector<uint8_t> inflated = {})
        : std::runtime_error(zlibMessage), failure(why), kept(std::move(inflated)) {}

    TDecodeFailure failure;
    // What inflated before the damage (the whole stream when only its
    // checksum is wrong); empty when nothing did, and always when the data
    // exceed kMaxDecodedBytes.
    std::vector<uint8_t> kept;
};

// What zlib data inflate to. cutShort: the data stop inside their last
// block, so the bytes are only the start of what was written. Data that
// lack no more than the checksum behind the last block (many writers cut
// it) are whole.
struct TInflated {
    std::vector<uint8_t> bytes;
    bool cutShort = false;
};

// Inflates zlib data. sizeEstimate is only the first size of the output
// buffer; it grows until the data end. Data that simply stop before their
// end marker give what was decoded up to there. Throws TDecodeError for
// corrupt data (with what inflated before the damage) and for output
// beyond kMaxDecodedBytes.
TInflated Inflate(const uint8_t* data, size_t size, size_t sizeEstimate = 0);
// Inflate for readers to whom the start of a picture or a font is as good
// as nothing more.
inline std::vector<uint8_t> FlateDecode(const uint8_t* data, size_t size, size_t sizeEstimate = 0) {
    return Inflate(data, size, sizeEstimate).bytes;
}

// ASCII base-85. Trailing CR and LF bytes and then a final "~>" are ignored,
// bytes that are neither digits ("!" to "u") nor "z" are skipped, and a "~"
// anywhere ends the data (so blanks behind "~>" do not decode as digits).
// Decoding stops once kMaxDecodedBytes are reached.
std::vector<uint8_t> ASCII85Decode(const uint8_t* data, size_t size);

// LZW with 9- to 12-bit codes, clear code 256 and end code 257. With
// earlyChange (the default of /LZWDecode) the code width grows one code
// early. A code that the table cannot hold yet ends the data: what was
// decoded before it is kept; so does reaching kMaxDecodedBytes.
std::vector<uint8_t> LZWDecode(const uint8_t* data, size_t size, bool earlyChange = true);

// The /DecodeParms that shape Flate and LZW data into rows.
struct TPredictorParms {
    int predictor = 1;
    int colors = 1;
    int bitsPerComponent = 8;
    int columns = 1;
};

// Reads /Predictor, /Colors, /BitsPerComponent and /Columns from the tokens
// of a /DecodeParms entry (a dictionary, or an array of them: the first
// predictor found counts). Values out of range keep their defaults.
TPredictorParms ReadPredictorParms(const std::vector<std::string>& tokens);

// Undoes a TIFF (2) or PNG (10 to 15) predictor; other predictors leave the
// data as they are. A last row cut short is dropped.
std::vector<uint8_t> Unpredict(const std::vector<uint8_t>& data, const TPredictorParms& parms);
// The size of what Unpredict makes of dataSize bytes.
size_t UnpredictedSize(size_t dataSize, const TPredictorParms& parms);

struct TFiltered {
    // The first filter that is not supported (the data then stand as the
    // filters before it left them), or null.
    const std::string* unsupported = nullptr;
    // Flate data stopped inside their last block: the bytes decoded are the
    // start of the stream only.
    bool cutShort = false;
};

// Runs data through the named filters in order (/FlateDecode, /LZWDecode,
// /ASCII85Decode, /ASCIIHexDecode and their abbreviations), applying the
// predictor after Flate and LZW. Throws TDecodeError for corrupt Flate
// data; its `kept` bytes are what inflated before the damage, run through
// the filters behind Flate.
TFiltered DecodeFilters(const std::vector<std::string>& filters, const TPredictorParms& parms,
                        std::vector<uint8_t>& data);

// Hexadecimal digits, blanks skipped, up to ">"; an odd last digit is
// followed by 0.
std::vector<uint8_t> ASCIIHexDecode(const uint8_t* data, size_t size);

// Stream decoders: pure functions from coded bytes to decoded bytes.
//
// Every decoder bounds its output by kMaxDecodedBytes, so a small stream
// that expands without end (a "decompression bomb") cannot exhaust memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

// The most bytes one stream may decode to (256 MiB).
constexpr size_t kMaxDecodedBytes = size_t{256} << 20;

// Flate data that cannot be decoded. Nothing in the reader catches it: it
// ends the open, and the open shows its (German) text in a message box.
class TDecodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Inflates zlib data. sizeEstimate is only the first size of the output
// buffer; it grows until the data end. Data that simply stop before their
// end marker (many writers cut the last bytes of a stream) give what was
// decoded up to there. Throws TDecodeError for corrupt data and for output
// beyond kMaxDecodedBytes.
std::vector<uint8_t> FlateDecode(const uint8_t* data, size_t size, size_t sizeEstimate = 0);

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

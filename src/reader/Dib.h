// A device-independent bitmap as the page view draws it: bottom-up pixel
// rows, each padded to a multiple of 4 bytes, 1, 4, 8, 24 or 32 bits per
// pixel, with a colour table where the pixels are indexes.
//
// OpenDib, newdib and deldib keep the contract the rest of the program
// relies on: a block whose pixel pointer is null holds no bitmap.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TDib {
    int32_t width = 0;
    int32_t height = 0;
    int32_t bitsPerPixel = 0;
    int32_t rowBytes = 0;                // bytes per pixel row, aligned to 4
    std::vector<uint32_t> colorTable;    // 0x00RRGGBB, for 1, 4 and 8 bits per pixel
    std::vector<uint8_t> pixels;         // height rows of rowBytes, bottom row first

    // Null when the block holds no bitmap.
    uint8_t* bits() { return pixels.empty() ? nullptr : pixels.data(); }
    const uint8_t* bits() const { return pixels.empty() ? nullptr : pixels.data(); }
    // Start of pixel row r, counted from the bottom of the picture.
    uint8_t* Row(int32_t r) { return pixels.data() + static_cast<size_t>(r) * static_cast<size_t>(rowBytes); }
    const uint8_t* Row(int32_t r) const {
        return pixels.data() + static_cast<size_t>(r) * static_cast<size_t>(rowBytes);
    }
};

// Largest pixel area we are willing to allocate for one picture.
constexpr int64_t kMaxDibPixels = int64_t{1} << 28;

// Decodes a JPEG file image, or a TIFF file image with CCITT data, held in
// memory, at 1/scaleDenom of its size in each direction (1, 2, 4 or 8;
// other values round down to one of them). Unreadable data give a block
// without pixels.
TDib OpenDib(const uint8_t* fileBytes, size_t size, int32_t scaleDenom = 1);

// Whether a JPEG's header promises a picture OpenDib can decode (a kind of
// colour it knows, a size it allows), without decoding it.
bool JpegLooksDecodable(const uint8_t* fileBytes, size_t size);

// The reduction OpenDib and ReduceDib actually use for a requested one.
int32_t ValidScaleDenom(int32_t scaleDenom);

// The bitmap at 1/scaleDenom of its size, each pixel the mean of the block
// it stands for. Bitmaps of fewer than 8 bits per pixel, and 8-bit ones with
// a colour table that is not grey, are returned as they are.
TDib ReduceDib(const TDib& dib, int32_t scaleDenom);

// A zero-filled bitmap of the given size; 1, 4 and 8 bits per pixel get a
// grey colour table. Sizes out of range give a block without pixels.
TDib newdib(int32_t width, int32_t height, int32_t bitsPerPixel);
// Whether newdib accepts the size and depth (it may still run out of memory).
bool DibAllowed(int32_t width, int32_t height, int32_t bitsPerPixel);

// Releases the pixels of a block.
void deldib(TDib& dib);

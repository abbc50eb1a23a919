// Bitmaps: empty ones of a given size, and decoded JPEG and TIFF (CCITT
// fax) images, all from memory.
//
// libjpeg reports errors by calling error_exit, which by default ends the
// process; ours jumps back with longjmp instead. Between setjmp and a
// possible longjmp the decoding functions keep no C++ objects with
// destructors of their own: the bitmap lives in the caller's frame.
#include "Dib.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

#include <jpeglib.h>
#include <tiffio.h>

namespace {

bool IsSupportedDepth(int32_t bitsPerPixel) {
    switch (bitsPerPixel) {
        case 1: case 4: case 8: case 24: case 32: return true;
        default: return false;
    }
}

bool AreaAllowed(int64_t width, int64_t height) {
    return width > 0 && height > 0 && width <= INT32_MAX && height <= INT32_MAX &&
           width * height <= kMaxDibPixels;
}

// A JPEG or TIFF names its own size, and decoders pad missing data with
// grey: a header of a few bytes could ask for hundreds of megabytes. Real
// pictures, even blank scans, stay well below this many pixels per byte of
// their data; small pictures pass whatever their data.
constexpr int64_t kMaxPixelsPerDataByte = 1024;
constexpr int64_t kAreaAlwaysAllowed = int64_t{1} << 20;

// Only after AreaAllowed: the product then fits in 64 bits.
bool DataCanFill(int64_t width, int64_t height, size_t dataSize) {
    return width * height <= std::max(kAreaAlwaysAllowed, static_cast<int64_t>(dataSize) * kMaxPixelsPerDataByte);
}

// 0 is black, the highest index white.
std::vector<uint32_t> GreyTable(int32_t bitsPerPixel) {
    const uint32_t entries = 1u << bitsPerPixel;
    std::vector<uint32_t> table(entries);
    for (uint32_t i = 0; i < entries; ++i) {
        const uint32_t level = i * 255 / (entries - 1);
        table[i] = level << 16 | level << 8 | level;
    }
    return table;
}

bool IsGreyTable(const TDib& dib) { return dib.colorTable == GreyTable(8); }

// ---- JPEG ---------------------------------------------------------------

struct TJpegErrorManager {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void JpegErrorExit(j_common_ptr info) {
    std::longjmp(reinterpret_cast<TJpegErrorManager*>(info->err)->jump, 1);
}

// Warnings about damaged data (the decoder pads a cut-off image with grey)
// are not the user's business.
void JpegEmitMessage(j_common_ptr, int) {}
void JpegOutputMessage(j_common_ptr) {}

// libjpeg-turbo has no backing store: a progressive image whose coefficients
// would need more than this fails instead of exhausting memory.
constexpr long kJpegMemoryLimit = 512L << 20;

// Converts one row of CMYK samples to BGR. Photoshop (the writer that adds
// the Adobe marker) stores CMYK inverted, 255 meaning no ink.
void CmykRowToBgr(const JSAMPLE* cmyk, uint8_t* bgr, JDIMENSION width, bool inverted) {
    for (JDIMENSION x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
        uint32_t c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        bgr[0] = static_cast<uint8_t>(y * k / 255);
        bgr[1] = static_cast<uint8_t>(m * k / 255);
        bgr[2] = static_cast<uint8_t>(c * k / 255);
    }
}

// Decodes at 1/scaleDenom of the full size (1, 2, 4 or 8): libjpeg-turbo
// then skips most of the inverse transform, so a photo shown a few hundred
// pixels wide costs a fraction of its full decode. With headerOnly the
// picture is checked as far as its header tells and nothing is decoded.
bool DecodeJpeg(const uint8_t* bytes, size_t size, int32_t scaleDenom, bool headerOnly, TDib& dib) {
    jpeg_decompress_struct info{};
    TJpegErrorManager errors{};
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = JpegErrorExit;
    errors.manager.emit_message = JpegEmitMessage;
    errors.manager.output_message = JpegOutputMessage;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    info.mem->max_memory_to_use = kJpegMemoryLimit;
    jpeg_mem_src(&info, bytes, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);

    bool cmyk = false;
    switch (info.jpeg_color_space) {
        case JCS_GRAYSCALE: info.out_color_space = JCS_GRAYSCALE; break;
        case JCS_RGB: case JCS_YCbCr: info.out_color_space = JCS_EXT_BGR; break;
        case JCS_CMYK: case JCS_YCCK:
            info.out_color_space = JCS_CMYK;
            cmyk = true;
            break;
        default:
            jpeg_destroy_decompress(&info);
            return false;
    }
    if (!AreaAllowed(info.image_width, info.image_height) ||
        !DataCanFill(info.image_width, info.image_height, size)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    if (headerOnly) {
        jpeg_destroy_decompress(&info);
        return true;
    }
    info.scale_num = 1;
    info.scale_denom = static_cast<unsigned int>(scaleDenom);
    jpeg_start_decompress(&info);
    const int32_t width = static_cast<int32_t>(info.output_width);
    const int32_t height = static_cast<int32_t>(info.output_height);
    dib = newdib(width, height, info.out_color_space == JCS_GRAYSCALE ? 8 : 24);
    if (!dib.bits()) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    // The CMYK row lives in libjpeg's pool, which jpeg_destroy releases.
    JSAMPARRAY cmykRow = cmyk ? (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                                           info.output_width * 4, 1)
                              : nullptr;
    while (info.output_scanline < info.output_height) {
        uint8_t* target = dib.Row(height - 1 - static_cast<int32_t>(info.output_scanline));
        JSAMPROW row = cmyk ? cmykRow[0] : target;
        if (jpeg_read_scanlines(&info, &row, 1) != 1) break;
        if (cmyk) CmykRowToBgr(cmykRow[0], target, info.output_width, info.saw_Adobe_marker);
    }
    // No jpeg_finish_decompress: it only reads what follows the last scan,
    // and damage there must not cost a picture that is already complete.
    jpeg_destroy_decompress(&info);
    return true;
}

// ---- TIFF ---------------------------------------------------------------

struct TMemoryFile {
    const uint8_t* data;
    toff_t size;
    toff_t pos;
};

tmsize_t TiffRead(thandle_t handle, void* buffer, tmsize_t n) {
    auto* file = static_cast<TMemoryFile*>(handle);
    if (n <= 0 || file->pos >= file->size) return 0;
    const toff_t count = std::min<toff_t>(static_cast<toff_t>(n), file->size - file->pos);
    std::memcpy(buffer, file->data + file->pos, static_cast<size_t>(count));
    file->pos += count;
    return static_cast<tmsize_t>(count);
}

tmsize_t TiffWrite(thandle_t, void*, tmsize_t) { return 0; }

toff_t TiffSeek(thandle_t handle, toff_t offset, int whence) {
    auto* file = static_cast<TMemoryFile*>(handle);
    toff_t base = 0;
    if (whence == SEEK_CUR) base = file->pos;
    else if (whence == SEEK_END) base = file->size;
    file->pos = base + offset;  // beyond the end reads give nothing
    return file->pos;
}

int TiffClose(thandle_t) { return 0; }
toff_t TiffSize(thandle_t handle) { return static_cast<TMemoryFile*>(handle)->size; }
int TiffMap(thandle_t, void**, toff_t*) { return 0; }
void TiffUnmap(thandle_t, void*, toff_t) {}

// libtiff prints to stderr by default; damaged images are not worth a word.
void SilenceTiff() {
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
    });
}

// A bilevel image row by row into a 1-bit bitmap. From the first row that
// fails to decode on the bitmap stays white; nothing decodable gives no
// bitmap.
bool ReadBilevel(TIFF* tiff, uint32_t width, uint32_t height, TDib& dib) {
    uint16_t photometric = PHOTOMETRIC_MINISWHITE;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PHOTOMETRIC, &photometric);
    dib = newdib(static_cast<int32_t>(width), static_cast<int32_t>(height), 1);
    if (!dib.bits() || TIFFScanlineSize(tiff) > dib.rowBytes) return false;
    const bool whiteIsZero = photometric == PHOTOMETRIC_MINISWHITE;
    if (whiteIsZero) dib.colorTable = {0xFFFFFF, 0x000000};
    else std::fill(dib.pixels.begin(), dib.pixels.end(), uint8_t{0xFF});
    uint32_t rowsRead = 0;
    for (; rowsRead < height; ++rowsRead) {
        uint8_t* target = dib.Row(static_cast<int32_t>(height - 1 - rowsRead));
        if (TIFFReadScanline(tiff, target, rowsRead, 0) < 0) {
            std::memset(target, whiteIsZero ? 0 : 0xFF, static_cast<size_t>(dib.rowBytes));
            break;
        }
    }
    return rowsRead > 0;
}

// Every other kind of TIFF through libtiff's RGBA reader into 24 bits.
bool ReadRgba(TIFF* tiff, uint32_t width, uint32_t height, TDib& dib) {
    std::vector<uint32_t> raster;
    try {
        raster.resize(static_cast<size_t>(width) * height);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!TIFFReadRGBAImageOriented(tiff, width, height, raster.data(), ORIENTATION_BOTLEFT, 0)) return false;
    dib = newdib(static_cast<int32_t>(width), static_cast<int32_t>(height), 24);
    if (!dib.bits()) return false;
    for (uint32_t r = 0; r < height; ++r) {
        const uint32_t* source = raster.data() + static_cast<size_t>(r) * width;
        uint8_t* target = dib.Row(static_cast<int32_t>(r));
        for (uint32_t c = 0; c < width; ++c, target += 3) {
            target[0] = static_cast<uint8_t>(TIFFGetB(source[c]));
            target[1] = static_cast<uint8_t>(TIFFGetG(source[c]));
            target[2] = static_cast<uint8_t>(TIFFGetR(source[c]));
        }
    }
    return true;
}

bool DecodeTiff(const uint8_t* bytes, size_t size, TDib& dib) {
    SilenceTiff();
    TMemoryFile file{bytes, static_cast<toff_t>(size), 0};
    TIFF* tiff = TIFFClientOpen("memory", "rm", &file, TiffRead, TiffWrite, TiffSeek, TiffClose, TiffSize,
                                TiffMap, TiffUnmap);
    if (!tiff) return false;
    uint32_t width = 0, height = 0;
    uint16_t bitsPerSample = 1, samplesPerPixel = 1;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bitsPerSample);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samplesPerPixel);
    bool ok = false;
    if (AreaAllowed(width, height)) {
        // A bilevel bitmap takes one bit per pixel, so even the largest
        // allowed area stays small, and fax data of a blank page are
        // a few bits per row; the RGBA reader takes 7 bytes per pixel.
        if (bitsPerSample == 1 && samplesPerPixel == 1) ok = ReadBilevel(tiff, width, height, dib);
        else if (DataCanFill(width, height, size)) ok = ReadRgba(tiff, width, height, dib);
    }
    TIFFClose(tiff);
    return ok;
}

bool IsTiff(const uint8_t* bytes, size_t size) {
    return size >= 4 && ((bytes[0] == 'I' && bytes[1] == 'I' && bytes[2] == 42 && bytes[3] == 0) ||
                         (bytes[0] == 'M' && bytes[1] == 'M' && bytes[2] == 0 && bytes[3] == 42));
}

}  // namespace

TDib OpenDib(const uint8_t* fileBytes, size_t size, int32_t scaleDenom) {
    TDib dib;
    if (!fileBytes || size == 0) return dib;
    scaleDenom = ValidScaleDenom(scaleDenom);
    bool ok;
    if (IsTiff(fileBytes, size)) {
        ok = DecodeTiff(fileBytes, size, dib);
        if (ok && scaleDenom > 1) dib = ReduceDib(dib, scaleDenom);
    } else {
        ok = DecodeJpeg(fileBytes, size, scaleDenom, false, dib);
    }
    if (!ok) dib = TDib{};
    return dib;
}

bool JpegLooksDecodable(const uint8_t* fileBytes, size_t size) {
    TDib unused;
    return fileBytes && size > 0 && !IsTiff(fileBytes, size) && DecodeJpeg(fileBytes, size, 1, true, unused);
}

int32_t ValidScaleDenom(int32_t scaleDenom) {
    return scaleDenom >= 8 ? 8 : scaleDenom >= 4 ? 4 : scaleDenom >= 2 ? 2 : 1;
}

TDib ReduceDib(const TDib& dib, int32_t scaleDenom) {
    scaleDenom = ValidScaleDenom(scaleDenom);
    const int32_t bytesPerPixel = dib.bitsPerPixel / 8;
    // Indexed pictures below 8 bits (fax scans, masks) lose their strokes
    // when averaged and are small anyway: they stay as they are.
    if (scaleDenom == 1 || !dib.bits() || dib.bitsPerPixel < 8 || (dib.bitsPerPixel == 8 && !IsGreyTable(dib)))
        return dib;
    const int32_t width = (dib.width + scaleDenom - 1) / scaleDenom;
    const int32_t height = (dib.height + scaleDenom - 1) / scaleDenom;
    TDib reduced = newdib(width, height, dib.bitsPerPixel);
    if (!reduced.bits()) return dib;
    // Each target pixel is the mean of the source block it covers (the last
    // row and column of blocks may be cut off by the picture's edge).
    std::vector<uint32_t> sums(static_cast<size_t>(width) * static_cast<size_t>(bytesPerPixel));
    std::vector<uint32_t> counts(static_cast<size_t>(width));
    for (int32_t r = 0; r < height; ++r) {
        std::fill(sums.begin(), sums.end(), 0u);
        std::fill(counts.begin(), counts.end(), 0u);
        const int32_t lastRow = std::min(dib.height, (r + 1) * scaleDenom);
        for (int32_t sr = r * scaleDenom; sr < lastRow; ++sr) {
            const uint8_t* source = dib.Row(sr);
            for (int32_t sc = 0; sc < dib.width; ++sc) {
                const size_t target = static_cast<size_t>(sc / scaleDenom);
                ++counts[target];
                for (int32_t b = 0; b < bytesPerPixel; ++b)
                    sums[target * static_cast<size_t>(bytesPerPixel) + static_cast<size_t>(b)] +=
                        source[static_cast<size_t>(sc) * static_cast<size_t>(bytesPerPixel) + static_cast<size_t>(b)];
            }
        }
        uint8_t* out = reduced.Row(r);
        for (size_t c = 0; c < static_cast<size_t>(width); ++c)
            for (size_t b = 0; b < static_cast<size_t>(bytesPerPixel); ++b)
                out[c * static_cast<size_t>(bytesPerPixel) + b] =
                    static_cast<uint8_t>(sums[c * static_cast<size_t>(bytesPerPixel) + b] / counts[c]);
    }
    reduced.colorTable = dib.colorTable;
    return reduced;
}

bool DibAllowed(int32_t width, int32_t height, int32_t bitsPerPixel) {
    return IsSupportedDepth(bitsPerPixel) && AreaAllowed(width, height);
}

TDib newdib(int32_t width, int32_t height, int32_t bitsPerPixel) {
    TDib dib;
    if (!DibAllowed(width, height, bitsPerPixel)) return dib;
    // At most 2^28 pixels of 32 bits: the row and the total fit in 64 bits
    // with room, and a row fits in 32.
    const int64_t rowBytes = (static_cast<int64_t>(width) * bitsPerPixel + 31) / 32 * 4;
    try {
        dib.pixels.assign(static_cast<size_t>(rowBytes * height), 0);
    } catch (const std::bad_alloc&) {
        return TDib{};
    }
    dib.width = width;
    dib.height = height;
    dib.bitsPerPixel = bitsPerPixel;
    dib.rowBytes = static_cast<int32_t>(rowBytes);
    if (bitsPerPixel <= 8) dib.colorTable = GreyTable(bitsPerPixel);
    return dib;
}

void deldib(TDib& dib) { dib = TDib{}; }

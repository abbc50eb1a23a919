#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "Filters.h"
#include "StreamTestDoc.h"

namespace {

std::string Deflate(const std::vector<uint8_t>& plain) {
    return ::Deflate(std::string_view(reinterpret_cast<const char*>(plain.data()), plain.size()));
}

std::string ReadDataFile(const std::string& relative) {
    const auto bytes = ReadFileBytes(DataPath(relative));
    return std::string(bytes.begin(), bytes.end());
}

// A file with one page whose /XObject dictionary (object 3) names /Im1, the
// image object 4 with the given dictionary entries and data.
// With lengthEntry empty /Length is the size of the data.
std::unique_ptr<TStreamDoc> OneImageDoc(const std::string& entries, const std::string& data,
                                        const std::string& lengthEntry = "") {
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [] /Count 0 >>");
    b.Object(3, "<< /Im1 4 0 R >>");
    if (lengthEntry.empty())
        b.Stream(4, "/Type /XObject /Subtype /Image " + entries, data);
    else
        b.Object(4, "<< /Type /XObject /Subtype /Image " + entries + " " + lengthEntry + " >>\nstream\n" + data +
                        "\nendstream");
    b.Trailer("/Root 1 0 R");
    auto d = TStreamDoc::FromBytes(b.Build());
    d->AddPageWithXObjects(3);
    return d;
}

std::unique_ptr<TStreamDoc> DecodedImageDoc(const std::string& entries, const std::string& data,
                                            const std::string& lengthEntry = "") {
    auto d = OneImageDoc(entries, data, lengthEntry);
    d->doc.CollectImages();
    d->ReadAndDecodeImages();
    return d;
}

// ---- the bitmap type ---------------------------------------------------------

TEST(Dib, NewdibRowsAreAlignedAndIndexedDepthsAreGrey) {
    struct TCase {
        int32_t width, height, bits, rowBytes, tableSize;
    } const cases[] = {
        {2, 2, 24, 8, 0}, {3, 2, 24, 12, 0}, {10, 3, 1, 4, 2}, {33, 1, 1, 8, 2},
        {5, 1, 4, 4, 16}, {5, 2, 8, 8, 256}, {1, 1, 32, 4, 0},
    };
    for (const auto& c : cases) {
        const TDib dib = newdib(c.width, c.height, c.bits);
        ASSERT_NE(dib.bits(), nullptr) << c.width << "x" << c.height << "x" << c.bits;
        EXPECT_EQ(dib.rowBytes, c.rowBytes) << c.width << "x" << c.bits;
        EXPECT_EQ(dib.pixels.size(), static_cast<size_t>(c.rowBytes * c.height));
        ASSERT_EQ(dib.colorTable.size(), static_cast<size_t>(c.tableSize));
        if (c.tableSize > 0) {
            EXPECT_EQ(dib.colorTable.front(), 0x000000u);
            EXPECT_EQ(dib.colorTable.back(), 0xFFFFFFu);
        }
    }
    EXPECT_EQ(newdib(4, 4, 8).colorTable[128], 0x808080u);
}

TEST(Dib, NewdibRefusesSizesWithoutABitmap) {
    struct TCase {
        int32_t width, height, bits;
    } const cases[] = {
        {0, 5, 8}, {5, 0, 8}, {-1, 5, 8}, {5, -3, 24},
        {16385, 16384, 8},            // one row more than 2^28 pixels
        {65536, 65536, 24},           // 2^32 pixels: overflows 32 bits
        {INT32_MAX, INT32_MAX, 32},
        {4, 4, 16}, {4, 4, 2}, {4, 4, 0}, {4, 4, 12},
    };
    for (const auto& c : cases) {
        TDib dib = newdib(c.width, c.height, c.bits);
        EXPECT_EQ(dib.bits(), nullptr) << c.width << "x" << c.height << "x" << c.bits;
        EXPECT_TRUE(dib.pixels.empty());
    }
    TDib dib = newdib(8, 8, 24);
    deldib(dib);
    EXPECT_EQ(dib.bits(), nullptr);
}

TEST(Dib, OpenDibGivesNoBitmapForUnreadableData) {
    const std::string junk = "not an image";
    EXPECT_EQ(OpenDib(reinterpret_cast<const uint8_t*>(junk.data()), junk.size()).bits(), nullptr);
    EXPECT_EQ(OpenDib(nullptr, 0).bits(), nullptr);
    std::string jpeg = ReadDataFile("streams/cmyk-adobe-16x16.jpg");
    jpeg.resize(40);  // cut inside the headers
    EXPECT_EQ(OpenDib(reinterpret_cast<const uint8_t*>(jpeg.data()), jpeg.size()).bits(), nullptr);
    const std::string tiffHeaderOnly("II*\0\x08\0\0\0\0\0", 10);
    EXPECT_EQ(OpenDib(reinterpret_cast<const uint8_t*>(tiffHeaderOnly.data()), tiffHeaderOnly.size()).bits(),
              nullptr);
}

// Ghostscript's DCTEncode with four colours writes an Adobe marker, whose
// CMYK is stored inverted: the upper half (255 0 0 255) is red, the lower
// half (0 255 0 255) green.
TEST(Dib, AdobeCmykJpegDrawsInvertedInk) {
    const std::string jpeg = ReadDataFile("streams/cmyk-adobe-16x16.jpg");
    const TDib dib = OpenDib(reinterpret_cast<const uint8_t*>(jpeg.data()), jpeg.size());
    ASSERT_NE(dib.bits(), nullptr);
    ASSERT_EQ(dib.bitsPerPixel, 24);
    ASSERT_EQ(dib.width, 16);
    ASSERT_EQ(dib.height, 16);
    const uint8_t* top = dib.Row(15) + 8 * 3;   // blue, green, red
    const uint8_t* bottom = dib.Row(0) + 8 * 3;
    EXPECT_LT(top[0], 40);
    EXPECT_LT(top[1], 40);
    EXPECT_GT(top[2], 215);
    EXPECT_LT(bottom[0], 40);
    EXPECT_GT(bottom[1], 215);
    EXPECT_LT(bottom[2], 40);
}

TEST(Dib, JpegWithAbsurdHeaderSizeGivesNoBitmap) {
    std::string jpeg = ReadDataFile("streams/cmyk-adobe-16x16.jpg");
    const size_t sof = jpeg.find("\xFF\xC0");
    ASSERT_NE(sof, std::string::npos);
    // Height and width 60000 each: 3.6e9 pixels.
    jpeg[sof + 5] = jpeg[sof + 7] = static_cast<char>(0xEA);
    jpeg[sof + 6] = jpeg[sof + 8] = static_cast<char>(0x60);
    EXPECT_EQ(OpenDib(reinterpret_cast<const uint8_t*>(jpeg.data()), jpeg.size()).bits(), nullptr);
}

// ---- collecting and reading image dictionaries ------------------------------

TEST(Images, OneRecordPerNameAndPictureBelongingToTheFirstPage) {
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [] /Count 0 >>");
    b.Object(3, "<< /Im1 5 0 R >>");
    b.Object(4, "<< /Im1 6 0 R /Im2 5 0 R >>");
    b.Object(7, "<< /Im1 5 0 R >>");
    b.Stream(5, "/Subtype /Image /Width 1 /Height 1 /BitsPerComponent 8", "x");
    b.Stream(6, "/Subtype /Image /Width 1 /Height 1 /BitsPerComponent 8", "y");
    b.Trailer("/Root 1 0 R");
    auto d = TStreamDoc::FromBytes(b.Build());
    d->AddPageWithXObjects(3);
    d->doc.pageList.Append();  // a page without /XObject
    TPageRecord& third = d->AddPageWithXObjects(4);
    d->AddPageWithXObjects(7);  // shares the first page's /Im1
    d->doc.CollectImages();

    // The third page's /Im1 is another picture than the first page's: it
    // gets a record of its own; the fourth page's /Im1 is the first page's.
    ASSERT_EQ(d->doc.imageList.Count(), 3);
    EXPECT_EQ(d->doc.imageList[0].resName, "/Im1");
    EXPECT_EQ(d->doc.imageList[0].pageIndex, 0);
    EXPECT_EQ(d->doc.imageList[0].objectPos, d->BodyPos(5));
    EXPECT_EQ(d->doc.imageList[1].resName, "/Im1");
    EXPECT_EQ(d->doc.imageList[1].pageIndex, 2);
    EXPECT_EQ(d->doc.imageList[1].objectPos, d->BodyPos(6));
    EXPECT_EQ(d->doc.imageList[2].resName, "/Im2");
    EXPECT_EQ(d->doc.imageList[2].pageIndex, 2);
    EXPECT_EQ(d->doc.imageList[2].objectPos, d->BodyPos(5));
    ASSERT_EQ(third.xobjectPositions.size(), 2u);
    EXPECT_EQ(third.xobjectPositions[0], std::make_pair(std::string("/Im1"), d->BodyPos(6)));
    EXPECT_EQ(d->doc.Source()[static_cast<size_t>(third.xobjectsFirstKeyPos) + 3], '1');
    EXPECT_EQ(d->doc.pageList[0].xobjectsFirstKeyPos, d->BodyPos(3) + 3);
    EXPECT_TRUE(Reported(d->ui, TProgressStep::ImagesFound, 3));
}

TEST(Images, DictionaryFieldsAndFilterKinds) {
    struct TCase {
        const char* filter;
        int32_t filterKind;
        std::vector<std::string> names;
    } const cases[] = {
        {"/Filter /DCTDecode", 1, {"/DCTDecode"}},
        {"/Filter /FlateDecode", 2, {"/FlateDecode"}},
        {"/Filter /CCITTFaxDecode /DecodeParms << /K -1 /Columns 7 >>", 3, {"/CCITTFaxDecode"}},
        {"/Filter [/FlateDecode]", 2, {"/FlateDecode"}},  // a chain of one is that filter
        {"/Filter 9 0 R", 0, {}},                          // a reference to nothing names none
        {"/Filter [/ASCII85Decode /DCTDecode]", 0, {"/ASCII85Decode", "/DCTDecode"}},
        {"/Filter /RunLengthDecode", 0, {"/RunLengthDecode"}},
    };
    for (const auto& c : cases) {
        auto d = OneImageDoc(std::string("/Width 7 /Height 5 /BitsPerComponent 1 ") + c.filter, "abc");
        d->doc.CollectImages();
        d->doc.ReadImageDicts();
        ASSERT_EQ(d->doc.imageList.Count(), 1);
        const TImageRecord& image = d->doc.imageList[0];
        EXPECT_EQ(image.filterKind, c.filterKind) << c.filter;
        EXPECT_EQ(image.filterNames, c.names) << c.filter;
        EXPECT_EQ(image.hasFilter, 1);
        EXPECT_EQ(image.isImage, 1);
        EXPECT_EQ(image.width, 7);
        EXPECT_EQ(image.height, 5);
        EXPECT_EQ(image.bitsPerComponent, 1);
        EXPECT_EQ(image.length, 3);
        EXPECT_EQ(d->doc.Source()[static_cast<size_t>(image.streamPos)], 's');
    }
}

TEST(Images, IndirectLengthIsFetched) {
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [] /Count 0 >>");
    b.Object(3, "<< /Im1 4 0 R >>");
    b.Object(4, "<< /Subtype /Image /Width 2 /Height 1 /BitsPerComponent 8 /Filter /FlateDecode /Length 5 0 R >>\n"
                "stream\n" + Deflate({10, 200}) + "\nendstream");
    b.Object(5, std::to_string(Deflate({10, 200}).size()));
    b.Trailer("/Root 1 0 R");
    auto d = TStreamDoc::FromBytes(b.Build());
    d->AddPageWithXObjects(3);
    d->doc.CollectImages();
    d->ReadAndDecodeImages();
    ASSERT_EQ(d->doc.imageList.Count(), 1);
    EXPECT_EQ(d->doc.imageList[0].length, static_cast<int32_t>(Deflate({10, 200}).size()));
    ASSERT_NE(d->doc.ImageBitmap(0), nullptr);
    EXPECT_EQ(d->doc.ImageBitmap(0)->Row(0)[1], 200);
}

// ---- Flate images ----------------------------------------------------------

TEST(Images, FlateRgbIsStoredBottomUpBlueFirst) {
    auto d = DecodedImageDoc("/Width 2 /Height 2 /BitsPerComponent 8 /ColorSpace /DeviceRGB /Filter /FlateDecode",
                             Deflate({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    ASSERT_EQ(d->doc.imageList.Count(), 1);
    const auto bitmap = d->doc.ImageBitmap(0);
    ASSERT_NE(bitmap, nullptr);
    const TDib& dib = *bitmap;
    ASSERT_EQ(dib.bitsPerPixel, 24);
    EXPECT_EQ(std::vector<uint8_t>(dib.Row(1), dib.Row(1) + 6), (std::vector<uint8_t>{3, 2, 1, 6, 5, 4}));
    EXPECT_EQ(std::vector<uint8_t>(dib.Row(0), dib.Row(0) + 6), (std::vector<uint8_t>{9, 8, 7, 12, 11, 10}));
    EXPECT_TRUE(Reported(d->ui, TProgressStep::JpegsRead, 1));
}

TEST(Images, FlateOtherSizesAreCopiedRowByRowBottomRowFirst) {
    auto d = DecodedImageDoc("/Width 2 /Height 2 /BitsPerComponent 8 /ColorSpace /DeviceGray /Filter /FlateDecode",
                             Deflate({10, 20, 30, 40}));
    ASSERT_EQ(d->doc.imageList.Count(), 1);
    const auto bitmap = d->doc.ImageBitmap(0);
    ASSERT_NE(bitmap, nullptr);
    const TDib& dib = *bitmap;
    ASSERT_EQ(dib.bitsPerPixel, 8);
    EXPECT_EQ(dib.Row(0)[0], 30);
    EXPECT_EQ(dib.Row(0)[1], 40);
    EXPECT_EQ(dib.Row(1)[0], 10);
    EXPECT_EQ(dib.Row(1)[1], 20);
    // A grey image needs a grey colour table to draw as grey.
    EXPECT_EQ(dib.colorTable.size(), 256u);
    EXPECT_EQ(dib.colorTable[30], 0x1E1E1Eu);
}

TEST(Images, FlateRowsArePaddedToWholeBytesAndShortDataLeaveRowsEmpty) {
    // 10 pixels of 1 bit take 2 bytes a row; only 2 of 3 rows are present.
    auto d = DecodedImageDoc("/Width 10 /Height 3 /BitsPerComponent 1 /Filter /FlateDecode",
                             Deflate({0xFF, 0xC0, 0x81, 0x40}));
    ASSERT_EQ(d->doc.imageList.Count(), 1);
    const auto bitmap = d->doc.ImageBitmap(0);
    ASSERT_NE(bitmap, nullptr);
    const TDib& dib = *bitmap;
    EXPECT_EQ(dib.Row(2)[0], 0xFF);
    EXPECT_EQ(dib.Row(2)[1], 0xC0);
    EXPECT_EQ(dib.Row(1)[0], 0x81);
    EXPECT_EQ(dib.Row(1)[1], 0x40);
    EXPECT_EQ(dib.Row(0)[0], 0x00);  // the third data row does not exist
}

TEST(Images, OneFilterArrayDecodesChainsAndUnfilteredImagesAreDropped) {
    auto d = DecodedImageDoc("/Width 2 /Height 2 /BitsPerComponent 8 /Filter [/FlateDecode]",
                             Deflate({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    EXPECT_EQ(d->doc.imageList.Count(), 1);
    EXPECT_TRUE(Reported(d->ui, TProgressStep::JpegsRead, 1));

    auto chain = DecodedImageDoc("/Width 2 /Height 2 /BitsPerComponent 8 /Filter [/ASCIIHexDecode /FlateDecode]",
                                 "00>");
    EXPECT_EQ(chain->doc.imageList.Count(), 0);

    auto raw = DecodedImageDoc("/Width 2 /Height 2 /BitsPerComponent 8", "abcd");
    EXPECT_EQ(raw->doc.imageList.Count(), 0);
}

TEST(Images, UncheckedReadPicsLeavesTheListEmpty) {
    auto d = OneImageDoc("/Width 2 /Height 2 /BitsPerComponent 8 /Filter /FlateDecode",
                         Deflate({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    d->doc.CollectImages();
    d->doc.ReadImageDicts();
    d->doc.DecodeImages(false);
    EXPECT_EQ(d->doc.imageList.Count(), 0);
    ASSERT_FALSE(d->ui.progress.empty());
    EXPECT_EQ(d->ui.progress.back().step, TProgressStep::JpegsRead);
    EXPECT_EQ(d->ui.progress.back().count, 0);
}

TEST(Images, CorruptFlateImageIsLeftOutAndNamed) {
    auto d = OneImageDoc("/Width 2 /Height 2 /BitsPerComponent 8 /Filter /FlateDecode", "garbage, not zlib");
    d->doc.CollectImages();
    d->doc.ReadImageDicts();
    EXPECT_NO_THROW(d->doc.DecodeImages());
    EXPECT_EQ(d->doc.imageList.Count(), 0);
    EXPECT_TRUE(Told(d->ui, TNoticeKind::ImageDamaged, 1));
}

TEST(Images, PngPredictedFlateImageIsUnpredicted) {
    // Two rows of 2 grey pixels, "Up" filtered: the second row adds the first.
    const std::vector<uint8_t> rows = {2, 10, 20, 2, 1, 1};
    auto d = DecodedImageDoc("/Width 2 /Height 2 /BitsPerComponent 8 /Filter /FlateDecode "
                             "/DecodeParms << /Predictor 12 /Columns 2 >>",
                             Deflate(rows));
    ASSERT_EQ(d->doc.imageList.Count(), 1);
    const auto bitmap = d->doc.ImageBitmap(0);
    ASSERT_NE(bitmap, nullptr);
    const TDib& dib = *bitmap;
    // Bitmap rows run bottom-up.
    EXPECT_EQ(dib.Row(1)[0], 10);
    EXPECT_EQ(dib.Row(1)[1], 20);
    EXPECT_EQ(dib.Row(0)[0], 11);
    EXPECT_EQ(dib.Row(0)[1], 21);
}

TEST(Images, AbsurdSizesGiveNoBitmapAndNoCrash) {
    const std::string rgb = Deflate({1, 2, 3, 4, 5, 6});
    const char* const dicts[] = {
        "/Width 100000 /Height 100000 /BitsPerComponent 8 /Filter /FlateDecode",
        "/Width 2147483647 /Height 2147483647 /BitsPerComponent 8 /Filter /FlateDecode",
        "/Width 1 /Height 1 /BitsPerComponent 16 /Filter /FlateDecode",  // 16-bit grey: no bitmap depth
        "/Width -2 /Height 1 /BitsPerComponent 8 /Filter /FlateDecode",
    };
    for (const char* dict : dicts) {
        auto d = DecodedImageDoc(dict, rgb);
        EXPECT_EQ(d->doc.imageList.Count(), 0) << dict;
    }
}

TEST(Images, LengthBeyondTheEndOfTheFileReadsWhatIsThere) {
    const std::string dict = "/Width 16 /Height 16 /BitsPerComponent 8 /Filter /DCTDecode";
    const std::string jpeg = ReadDataFile("streams/cmyk-adobe-16x16.jpg");
    auto d = DecodedImageDoc(dict, jpeg, "/Length 2000000000");
    ASSERT_EQ(d->doc.imageList.Count(), 1);
    EXPECT_EQ(d->doc.ImageBitmap(0)->width, 16);

    EXPECT_EQ(DecodedImageDoc(dict, jpeg, "/Length -5")->doc.imageList.Count(), 0);
    EXPECT_EQ(DecodedImageDoc(dict, jpeg, "/Length -2147483648")->doc.imageList.Count(), 0);
}

TEST(Images, JpegSizeWinsOverTheDictionary) {
    auto d = DecodedImageDoc("/Width 3 /Height 99 /BitsPerComponent 8 /Filter /DCTDecode",
                             ReadDataFile("streams/cmyk-adobe-16x16.jpg"));
    ASSERT_EQ(d->doc.imageList.Count(), 1);
    EXPECT_EQ(d->doc.ImageBitmap(0)->width, 16);
    EXPECT_EQ(d->doc.ImageBitmap(0)->height, 16);
}

// ---- corpus images, against pdfimages -list and pdfimages' pixels -----------

struct TPixelStats {
    double mean[3] = {0, 0, 0};  // red, green, blue
};

// Mean colour of a 24- or 8-bit bitmap.
TPixelStats Mean(const TDib& dib) {
    TPixelStats stats;
    for (int32_t r = 0; r < dib.height; ++r) {
        const uint8_t* row = dib.Row(r);
        for (int32_t c = 0; c < dib.width; ++c) {
            for (int k = 0; k < 3; ++k)
                stats.mean[k] += dib.bitsPerPixel == 24 ? row[c * 3 + 2 - k] : row[c];
        }
    }
    for (double& m : stats.mean) m /= static_cast<double>(dib.width) * dib.height;
    return stats;
}

// Pixel (x, y) counted from the top left, as red, green, blue.
std::vector<int> Pixel(const TDib& dib, int32_t x, int32_t y) {
    const uint8_t* row = dib.Row(dib.height - 1 - y);
    if (dib.bitsPerPixel == 8) return {row[x], row[x], row[x]};
    return {row[x * 3 + 2], row[x * 3 + 1], row[x * 3]};
}

struct TCorpusImage {
    const char* file;
    int32_t objNum;
    int32_t width, height, bits;
    double mean[3];
    int topLeft[3];
    int at10x20[3];
    double tolerance;  // JPEG decoders may differ by rounding
};

TEST(Images, CorpusJpegAndFlateImagesMatchPdfimages) {
    const TCorpusImage cases[] = {
        {"img2pdf-jpeg-rgb-gray-v13.pdf", 10, 400, 300, 24, {127.41, 82.58, 63.86}, {255, 164, 1}, {239, 154, 9}, 3},
        {"img2pdf-jpeg-rgb-gray-v13.pdf", 2, 300, 200, 8, {91.22, 91.22, 91.22}, {0, 0, 0}, {0, 0, 0}, 3},
        {"cairo-truetype-flate-images-v14.pdf", 10, 96, 64, 24, {127.5, 76, 127.5}, {0, 76, 255}, {26, 76, 229}, 0},
        {"cairo-truetype-flate-images-v14.pdf", 16, 64, 64, 8, {127.5, 127.5, 127.5}, {0, 0, 0}, {40, 40, 40}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " object " + std::to_string(c.objNum));
        auto d = TStreamDoc::FromCorpus(c.file);
        d->AddImage("/Im", c.objNum);
        d->ReadAndDecodeImages();
        ASSERT_EQ(d->doc.imageList.Count(), 1);
        const auto bitmap = d->doc.ImageBitmap(0);
    ASSERT_NE(bitmap, nullptr);
    const TDib& dib = *bitmap;
        EXPECT_EQ(dib.width, c.width);
        EXPECT_EQ(dib.height, c.height);
        EXPECT_EQ(dib.bitsPerPixel, c.bits);
        const TPixelStats stats = Mean(dib);
        const auto topLeft = Pixel(dib, 0, 0);
        const auto at10x20 = Pixel(dib, 10, 20);
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(stats.mean[k], c.mean[k], 0.5 + c.tolerance / 3) << "channel " << k;
            EXPECT_NEAR(topLeft[static_cast<size_t>(k)], c.topLeft[k], c.tolerance) << "channel " << k;
            EXPECT_NEAR(at10x20[static_cast<size_t>(k)], c.at10x20[k], c.tolerance) << "channel " << k;
        }
        EXPECT_TRUE(Reported(d->ui, TProgressStep::JpegsRead, 1));
    }
}

TEST(Images, CorpusCcittImageHasBlackAndWhitePixels) {
    auto d = TStreamDoc::FromCorpus("gs-ccitt-g4-v14.pdf");
    d->AddImage("/Im1", 8);
    d->ReadAndDecodeImages();
    ASSERT_EQ(d->doc.imageList.Count(), 1);
    const auto bitmap = d->doc.ImageBitmap(0);
    ASSERT_NE(bitmap, nullptr);
    const TDib& dib = *bitmap;
    EXPECT_EQ(dib.width, 200);
    EXPECT_EQ(dib.height, 120);
    ASSERT_EQ(dib.bitsPerPixel, 1);
    int black = 0;
    for (int32_t r = 0; r < dib.height; ++r)
        for (int32_t x = 0; x < dib.width; ++x) {
            const int index = (dib.Row(r)[x / 8] >> (7 - x % 8)) & 1;
            if (dib.colorTable[static_cast<size_t>(index)] == 0) ++black;
        }
    // pdfimages writes 11132 black pixels of 24000; its first row starts
    // 00 3F F0 03 and its last FF C0 0F FC (1 = black), which shows that the
    // picture is not upside down.
    EXPECT_EQ(black, 11132);
    ASSERT_EQ(dib.colorTable, (std::vector<uint32_t>{0xFFFFFF, 0x000000}));
    EXPECT_EQ(std::vector<uint8_t>(dib.Row(119), dib.Row(119) + 4), (std::vector<uint8_t>{0x00, 0x3F, 0xF0, 0x03}));
    EXPECT_EQ(std::vector<uint8_t>(dib.Row(0), dib.Row(0) + 4), (std::vector<uint8_t>{0xFF, 0xC0, 0x0F, 0xFC}));
}

TEST(Images, CorpusAscii85WrappedJpegIsAnArrayFilterAndDropped) {
    auto d = TStreamDoc::FromCorpus("reportlab-a85-flate-annots-v14.pdf");
    d->AddImage("/FormXob", 16);
    d->doc.ReadImageDicts();
    ASSERT_EQ(d->doc.imageList.Count(), 1);
    EXPECT_EQ(d->doc.imageList[0].filterKind, 0);
    EXPECT_EQ(d->doc.imageList[0].filterNames, (std::vector<std::string>{"/ASCII85Decode", "/DCTDecode"}));
    EXPECT_EQ(d->doc.imageList[0].width, 400);
    d->doc.DecodeImages();
    EXPECT_EQ(d->doc.imageList.Count(), 0);
}

// The whole open of the corpus file whose two pages both call their JPEG
// /Im0: two different pictures, so two records, one per page; none when
// "Bilder einlesen" is off.
TEST(Images, OpenKeepsEveryPictureOfASharedNameAndNoneWithoutReadPics) {
    auto withPics = OpenHeadless(CorpusPath("img2pdf-jpeg-rgb-gray-v13.pdf"), true);
    EXPECT_TRUE(withPics->OpenErrors().empty()) << withPics->AllMessages();
    ASSERT_EQ(withPics->doc.imageList.Count(), 2);
    EXPECT_EQ(withPics->doc.imageList[0].resName, "/Im0");
    EXPECT_EQ(withPics->doc.imageList[0].pageIndex, 0);
    EXPECT_EQ(withPics->doc.ImageBitmap(0)->width, 400);
    EXPECT_EQ(withPics->doc.imageList[1].resName, "/Im0");
    EXPECT_EQ(withPics->doc.imageList[1].pageIndex, 1);
    EXPECT_EQ(withPics->doc.ImageBitmap(1)->width, 300);
    EXPECT_EQ(withPics->doc.ImageBitmap(1)->height, 200);

    auto withoutPics = OpenHeadless(CorpusPath("img2pdf-jpeg-rgb-gray-v13.pdf"), false);
    EXPECT_EQ(withoutPics->doc.imageList.Count(), 0);
    EXPECT_TRUE(Reported(withoutPics->ui, TProgressStep::JpegsRead, 0));
    EXPECT_TRUE(Reported(withoutPics->ui, TProgressStep::ImagesFound, 2));
}

}  // namespace

// Image XObjects and page content streams.
//
// Stream lengths come from the file and are not trusted: the data handed to
// a decoder are the /Length bytes that exist in the file, never more, and
// every decoder bounds its own output (Filters.h, Dib.h).
#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>
#include <unordered_set>

#include "Filters.h"
#include "PdfDocument.h"

namespace {

constexpr int32_t kFilterOther = 0;
constexpr int32_t kFilterDct = 1;
constexpr int32_t kFilterFlate = 2;
constexpr int32_t kFilterCcitt = 3;

// Flate image data may be cut short (rows they do not reach stay empty),
// but not by more than this.
constexpr int64_t kMaxBitmapPerDataByte = 2;
constexpr int64_t kBitmapBytesAlwaysAllowed = int64_t{1} << 20;

// The joined content of one page is handed on with a 32-bit length.
constexpr size_t kMaxPageContentBytes = size_t{1} << 30;

// Decoded content the open reads for all pages together. Every page is
// decoded on its own, so a few kilobytes of Flate data that unpack to 32 MB,
// named as the content of a thousand small pages, would take 32 GB worth of
// decoding. Real files stay far below 32 times their size; small files get
// a floor.
constexpr int64_t kContentBytesPerFileByte = 32;
constexpr int64_t kMinContentBudget = int64_t{64} << 20;

int64_t ContentBudget(const TPdfDocument& doc) {
    return std::max(kMinContentBudget, doc.SourceSize() * kContentBytesPerFileByte);
}

bool IsReference(const TDictEntry& entry) { return entry.tokens.size() >= 4 && entry.tokens[3] == "R"; }

int32_t TokenInt(const TDictEntry& entry, size_t i) {
    return i < entry.tokens.size() ? TryStrToInt(entry.tokens[i]).value_or(0) : 0;
}

// The integer at the start of object `objNumToken` (an indirect /Length).
// The cursor is restored; nothing when the object cannot be fetched.
std::optional<int32_t> ReferencedInt(TPdfDocument& doc, const std::string& objNumToken) {
    const TFilePos saved = doc.GetPos();
    std::optional<int32_t> value;
    if (doc.FetchObject(TryStrToInt(objNumToken).value_or(-1))) value = doc.ReadInt();
    doc.SetPos(saved);
    return value;
}


// ---- images ---------------------------------------------------------------

// Exactly width * height * 3 bytes are RGB rows.
bool IsRgbData(size_t dataSize, int32_t width, int32_t height) {
    // Width and height are positive 32-bit values: their product fits in 64
    // bits, three times it need not.
    return dataSize % 3 == 0 && static_cast<int64_t>(dataSize / 3) == int64_t{width} * height;
}

// The depth of the bitmap FlateBitmap makes of dataSize bytes, 0 for none.
int32_t FlateBitmapDepth(size_t dataSize, int32_t width, int32_t height, int32_t bitsPerComponent) {
    // A bitmap far larger than its decoded data is mostly rows the data do
    // not reach; a few bytes claiming 16384 x 16384 at 32 bits would take
    // a gigabyte. Such a picture is not read.
    const int64_t bitmapBytes = (int64_t{width} * std::clamp(bitsPerComponent, 1, 32) + 7) / 8 * height;
    if (bitmapBytes > static_cast<int64_t>(dataSize) * kMaxBitmapPerDataByte + kBitmapBytesAlwaysAllowed) return 0;
    return IsRgbData(dataSize, width, height) ? 24 : bitsPerComponent;
}

// Flate image data: RGB rows become a 24-bit bitmap (blue, green, red);
// everything else is copied row by row into a bitmap of bitsPerComponent
// bits per pixel. Data rows are padded to whole bytes. Rows that the data
// do not reach stay empty.
TDib FlateBitmap(const std::vector<uint8_t>& data, int32_t width, int32_t height, int32_t bitsPerComponent) {
    if (FlateBitmapDepth(data.size(), width, height, bitsPerComponent) == 0) return TDib{};
    if (IsRgbData(data.size(), width, height)) {
        TDib dib = newdib(width, height, 24);
        if (!dib.bits()) return dib;
        const size_t rowLen = static_cast<size_t>(width) * 3;
        for (int32_t r = 0; r < height; ++r) {
            const uint8_t* source = data.data() + static_cast<size_t>(r) * rowLen;
            uint8_t* target = dib.Row(height - 1 - r);
            for (size_t c = 0; c < rowLen; c += 3) {
                target[c] = source[c + 2];
                target[c + 1] = source[c + 1];
                target[c + 2] = source[c];
            }
        }
        return dib;
    }
    TDib dib = newdib(width, height, bitsPerComponent);
    if (!dib.bits()) return dib;
    const int64_t stride = (int64_t{width} * bitsPerComponent + 7) / 8;
    const size_t copyLen = static_cast<size_t>(std::min<int64_t>(stride, dib.rowBytes));
    for (int32_t r = 0; r < height; ++r) {
        const int64_t offset = int64_t{height - 1 - r} * stride;
        if (offset + stride > static_cast<int64_t>(data.size())) continue;
        std::memcpy(dib.Row(r), data.data() + offset, copyLen);
    }
    return dib;
}

void PutLe16(std::vector<uint8_t>& out, size_t pos, uint32_t value) {
    out[pos] = static_cast<uint8_t>(value);
    out[pos + 1] = static_cast<uint8_t>(value >> 8);
}

void PutLe32(std::vector<uint8_t>& out, size_t pos, uint32_t value) {
    PutLe16(out, pos, value & 0xFFFF);
    PutLe16(out, pos + 2, value >> 16);
}

// A little-endian TIFF file around CCITT Group 4 data: header, one
// directory of eight entries, the data at offset 110. Width and height are
// SHORT fields; /DecodeParms are not consulted.
std::vector<uint8_t> CcittTiff(const std::vector<uint8_t>& data, int32_t width, int32_t height) {
    constexpr size_t kDataOffset = 110;
    constexpr uint16_t kShort = 3, kLong = 4;
    struct TEntry {
        uint16_t tag, type;
        uint32_t value;
    };
    const TEntry entries[8] = {
        {256, kShort, static_cast<uint16_t>(width)},  // ImageWidth
        {257, kShort, static_cast<uint16_t>(height)}, // ImageLength
        {258, kShort, 1},                             // BitsPerSample
        {259, kShort, 4},                             // Compression: CCITT T.6
        {262, kShort, 0},                             // PhotometricInterpretation: white is zero
        {273, kLong, kDataOffset},                    // StripOffsets
        {278, kShort, static_cast<uint16_t>(height)}, // RowsPerStrip
        {279, kLong, static_cast<uint32_t>(data.size())},  // StripByteCounts
    };
    std::vector<uint8_t> tiff(kDataOffset, 0);
    tiff[0] = tiff[1] = 'I';
    PutLe16(tiff, 2, 42);
    PutLe32(tiff, 4, 8);
    PutLe16(tiff, 8, 8);
    size_t pos = 10;
    for (const TEntry& entry : entries) {
        PutLe16(tiff, pos, entry.tag);
        PutLe16(tiff, pos + 2, entry.type);
        PutLe32(tiff, pos + 4, 1);
        if (entry.type == kShort) PutLe16(tiff, pos + 8, entry.value);
        else PutLe32(tiff, pos + 8, entry.value);
        pos += 12;
    }
    // Offset 106: no further directory (already 0).
    tiff.insert(tiff.end(), data.begin(), data.end());
    return tiff;
}

// The record's stream data, when the record is a picture of a kind and size
// we decode. The cursor is kept.
bool ReadImageData(TPdfDocument& doc, const TImageRecord& image, std::vector<uint8_t>& data) {
    data.clear();
    if (!image.isImage || image.bitsPerComponent <= 0 || image.length <= 0) return false;
    const int32_t minSize = image.filterKind == kFilterCcitt ? 2 : 1;
    if (image.filterKind == kFilterOther || image.width < minSize || image.height < minSize) return false;
    const TFilePos saved = doc.GetPos();
    doc.SetPos(image.streamPos);
    const bool read = doc.ReadStreamBytes(image.length, data);
    // The copy is all that is needed of the mapped bytes.
    doc.ReleaseBytes(std::max<TFilePos>(image.streamPos, 0), doc.GetPos());
    doc.SetPos(saved);
    return read;
}

// The picture the data hold, at 1/scaleDenom of its size. Corrupt Flate
// data throw TDecodeError.
TDib BitmapFromData(const TImageRecord& image, const std::vector<uint8_t>& data, int32_t scaleDenom) {
    switch (image.filterKind) {
        case kFilterDct:
            // The JPEG's own size wins over /Width and /Height.
            return OpenDib(data.data(), data.size(), scaleDenom);
        case kFilterFlate: {
            const size_t estimate = static_cast<size_t>(image.length) * 10;
            const std::vector<uint8_t> decoded =
                Unpredict(FlateDecode(data.data(), data.size(), estimate), image.predictor);
            if (decoded.empty()) return TDib{};
            return ReduceDib(FlateBitmap(decoded, image.width, image.height, image.bitsPerComponent), scaleDenom);
        }
        case kFilterCcitt: {
            const std::vector<uint8_t> tiff = CcittTiff(data, image.width, image.height);
            return OpenDib(tiff.data(), tiff.size(), scaleDenom);
        }
        default: return TDib{};
    }
}

// Whether the record's picture can be shown. A JPEG is judged by its header,
// so that opening a catalogue of photos does not decode them; other data are
// decoded (and dropped again), since only that shows whether they fill the
// picture. Corrupt Flate data throw TDecodeError.
bool ImageDecodable(TPdfDocument& doc, const TImageRecord& image) {
    std::vector<uint8_t> data;
    if (!ReadImageData(doc, image, data)) return false;
    if (image.filterKind == kFilterDct) return JpegLooksDecodable(data.data(), data.size());
    if (image.filterKind == kFilterFlate) {
        // Only the size of what the data inflate to decides; the bitmap
        // itself is made when the page is painted.
        const size_t estimate = static_cast<size_t>(image.length) * 10;
        const size_t decoded = UnpredictedSize(FlateDecode(data.data(), data.size(), estimate).size(), image.predictor);
        if (decoded == 0) return false;
        const int32_t depth = FlateBitmapDepth(decoded, image.width, image.height, image.bitsPerComponent);
        return depth != 0 && DibAllowed(image.width, image.height, depth);
    }
    return BitmapFromData(image, data, 1).bits() != nullptr;
}

}  // namespace

void TPdfDocument::CollectImages() {
    std::unordered_set<std::string> names;
    for (const TImageRecord& image : imageList) names.insert(image.resName + '\0' + std::to_string(image.objectPos));
    for (int32_t pageIndex = 0; pageIndex < pageList.Count(); ++pageIndex) {
        TPageRecord& page = pageList[static_cast<size_t>(pageIndex)];
        if (!page.hasXObjects) continue;
        ReleaseWhileWalking(pageIndex, kObjectsPerRelease);
        DiscardEntries();
        SetPos(page.xobjectDictPos);
        ParseDict();
        page.xobjectsFirstKeyPos = dictEntries.IsEmpty() ? -1 : dictEntries[0].keyPos;
        page.xobjectPositions.clear();
        for (const TDictEntry& entry : dictEntries) {
            if (entry.tokens.empty()) continue;
            TFilePos objectPos = 0;
            if (!IsReference(entry)) {
                objectPos = entry.valuePos;
            } else {
                const TFilePos saved = GetPos();
                if (FetchObject(TryStrToInt(entry.tokens[1]).value_or(-1))) objectPos = GetPos();
                SetPos(saved);
            }
            page.xobjectPositions.emplace_back(entry.tokens[0], objectPos);
            // One record per name and picture: a picture shared by several
            // pages is read once, but the same name on another page that
            // points elsewhere is another picture.
            if (!names.insert(entry.tokens[0] + '\0' + std::to_string(objectPos)).second) continue;
            TImageRecord* image = imageList.Append();
            image->pageIndex = pageIndex;
            image->resName = entry.tokens[0];
            image->objectPos = objectPos;
        }
        DiscardEntries();
    }
    ui_.Progress({TProgressStep::ImagesFound, imageList.Count()});
}

void TPdfDocument::ReadImageDicts() {
    int64_t walked = 0;
    for (TImageRecord& image : imageList) {
        ReleaseWhileWalking(walked++, kObjectsPerRelease);
        DiscardEntries();
        SetPos(image.objectPos);
        ParseDict();
        image.streamPos = GetPos();
        for (const TDictEntry& entry : dictEntries) {
            if (entry.tokens.empty()) continue;
            const std::string& key = entry.tokens[0];
            if (key == "/Subtype") {
                if (entry.tokens.size() >= 2 && entry.tokens[1] == "/Image") image.isImage = 1;
            } else if (key == "/Width") {
                image.width = TokenInt(entry, 1);
            } else if (key == "/Height") {
                image.height = TokenInt(entry, 1);
            } else if (key == "/BitsPerComponent") {
                image.bitsPerComponent = TokenInt(entry, 1);
            } else if (key == "/Length") {
                if (IsReference(entry)) {
                    if (auto length = ReferencedInt(*this, entry.tokens[1])) image.length = *length;
                } else if (entry.tokens.size() == 2) {
                    image.length = TokenInt(entry, 1);
                }
            } else if (key == "/DecodeParms") {
                image.predictor = ReadPredictorParms(entry.tokens);
            } else if (key == "/Filter") {
                image.hasFilter = 1;
                image.filterNames = FilterNames(entry);
                // Only a single filter is decoded: "[/DCTDecode]" counts, a chain does not.
                if (image.filterNames.size() == 1) {
                    const std::string& filter = image.filterNames[0];
                    image.filterKind = filter == "/DCTDecode"        ? kFilterDct
                                       : filter == "/FlateDecode"    ? kFilterFlate
                                       : filter == "/CCITTFaxDecode" ? kFilterCcitt
                                                                     : kFilterOther;
                }
            }
        }
        DiscardEntries();
    }
}

void TPdfDocument::DecodeImages(bool readPics) {
    imageBitmaps.Clear();
    std::vector<uint8_t> decodable(static_cast<size_t>(imageList.Count()), 0);
    int32_t decodedCount = 0;
    if (readPics) {
        for (int32_t i = 0; i < imageList.Count(); ++i) {
            const TImageRecord& image = imageList[static_cast<size_t>(i)];
            if (!image.hasFilter) continue;
            ReleaseWhileWalking(i, kObjectsPerRelease);
            try {
                decodable[static_cast<size_t>(i)] = ImageDecodable(*this, image);
            } catch (const TDecodeError&) {
                // A corrupt picture is left out; the page keeps the rest.
                ui_.Notice(TNotice(TNoticeKind::ImageDamaged, int64_t{image.pageIndex} + 1));
            }
            if (decodable[static_cast<size_t>(i)]) ++decodedCount;
        }
    }
    for (int32_t i = imageList.Count() - 1; i >= 0; --i)
        if (!decodable[static_cast<size_t>(i)]) imageList.Delete(i);
    ui_.Progress({TProgressStep::JpegsRead, decodedCount});
}

TImageBitmaps::TBitmap TPdfDocument::ImageBitmap(int32_t index, int32_t scaleDenom) {
    if (index < 0 || index >= imageList.Count()) return nullptr;
    scaleDenom = ValidScaleDenom(scaleDenom);
    if (auto kept = imageBitmaps.Find(index, scaleDenom)) return kept->bits() ? kept : nullptr;
    const TImageRecord& image = imageList[static_cast<size_t>(index)];
    TDib dib;
    std::vector<uint8_t> data;
    try {
        if (ReadImageData(*this, image, data)) dib = BitmapFromData(image, data, scaleDenom);
    } catch (const TDecodeError&) {
        // Said when the file was opened.
    }
    auto bitmap = imageBitmaps.Put(index, scaleDenom, std::move(dib));
    return bitmap->bits() ? bitmap : nullptr;
}

namespace {

// Reads the content stream dictionary at the cursor into the reference, the
// page's filter list and the predictor.
void ReadContentDict(TPdfDocument& doc, TPageRecord& page, TContentRef& ref, TPredictorParms& parms) {
    doc.DiscardEntries();
    doc.ParseDict();
    page.contentFiltered = 0;
    page.contentFilters.clear();
    for (const TDictEntry& entry : doc.dictEntries) {
        if (entry.tokens.empty()) continue;
        const std::string& key = entry.tokens[0];
        if (key == "/Filter" && entry.tokens.size() >= 2) {
            page.contentFiltered = 1;
            page.contentFilters = doc.FilterNames(entry);
        } else if (key == "/DecodeParms") {
            parms = ReadPredictorParms(entry.tokens);
        } else if (key == "/Length" && IsReference(entry)) {
            if (auto length = ReferencedInt(doc, entry.tokens[1])) {
                ref.length = *length;
                ref.lengthKnown = 1;
            }
        } else if (key == "/Length" && entry.tokens.size() == 2) {
            ref.length = TokenInt(entry, 1);
            ref.lengthKnown = 1;
        }
    }
    doc.DiscardEntries();
}

// Pages are read one after the other, by the open, the subsets' code count
// and the writer.
void ReleaseReadPages(const TPdfFile& file, int32_t pageIndex) {
    constexpr int32_t kPagesPerRelease = 256;
    file.ReleaseWhileWalking(pageIndex, kPagesPerRelease);
}

}  // namespace

// Decodes and joins the page's content streams into `joined`, which may
// grow to `room` bytes (each stream is followed by a line feed). Every
// reason a stream is not read becomes one notice in `problems`, when given.
// False when the page cannot be interpreted.
bool TPdfDocument::JoinPageContent(TPageRecord& page, int32_t pageIndex, int64_t room, std::vector<uint8_t>& joined,
                                   std::vector<TNotice>* problems) {
    joined.clear();
    bool readable = true;
    const int64_t pageNo = int64_t{pageIndex} + 1;
    auto say = [problems](TNotice notice) {
        if (problems) problems->push_back(std::move(notice));
    };
    const int64_t limit = std::min<int64_t>(room, kMaxPageContentBytes);
    std::vector<uint8_t> data;
    for (TContentRef& ref : page.contentRefs) {
        if (static_cast<int64_t>(joined.size()) >= room) {
            // Nothing is decoded once the budget is spent: the rest of the
            // pages cost no time.
            say(TNotice(TNoticeKind::PageContentTooLarge, pageNo));
            readable = false;
            break;
        }
        // A stream left out leaves the page short of what the file holds:
        // the page counts as damaged, so that saving copies its streams.
        if (!ref.valid || !FetchObject(ref.objNum)) {
            page.contentDamaged = 1;
            continue;
        }
        TPredictorParms parms;
        ReadContentDict(*this, page, ref, parms);
        // Without a usable length the data end at "endstream".
        if (!ReadStreamBytes(ref.lengthKnown ? ref.length : -1, data)) {
            page.contentDamaged = 1;
            continue;
        }
        if (!data.empty() && page.contentFiltered) {
            try {
                const TFiltered filtered = DecodeFilters(page.contentFilters, parms, data);
                if (filtered.unsupported) {
                    say(TNotice(TNoticeKind::PageFilterUnsupported, pageNo, Cp1252ToUtf8(*filtered.unsupported)));
                    readable = false;
                } else if (filtered.cutShort) {
                    // The stream stops inside its data: what it holds is
                    // read, and saving copies it as it is instead of
                    // writing the start of it as if that were all.
                    say(TNotice(TNoticeKind::PageContentCutShort, pageNo));
                    page.contentDamaged = 1;
                }
            } catch (TDecodeError& error) {
                // Corrupt data cost this page, not the file; what inflated
                // before the damage is read, as other readers show it.
                const bool partly = !error.kept.empty();
                say(TNotice::Damaged(pageNo, error, partly));
                if (partly) {
                    data = std::move(error.kept);
                    page.contentDamaged = 1;
                } else {
                    readable = false;
                }
            }
        }
        page.contentFilters.clear();
        if (!readable) continue;
        if (static_cast<int64_t>(joined.size() + data.size() + 1) > limit) {
            say(TNotice(TNoticeKind::PageContentTooLarge, pageNo));
            readable = false;
            break;
        }
        joined.insert(joined.end(), data.begin(), data.end());
        joined.push_back(10);
    }
    return readable;
}

bool TPdfDocument::ReadPageContent(TPageRecord& page, int32_t pageIndex, std::vector<uint8_t>& joined) {
    ReleaseReadPages(*this, pageIndex);
    std::vector<TNotice> problems;
    const bool readable =
        JoinPageContent(page, pageIndex, ContentBudget(*this) - contentBytesRead, joined, &problems);
    for (const TNotice& problem : problems) ui_.Notice(problem);
    if (readable) contentBytesRead += static_cast<int64_t>(joined.size());
    return readable;
}

std::vector<uint8_t> TPdfDocument::PageContent(int32_t pageIndex) {
    std::vector<uint8_t> joined;
    if (pageIndex < 0 || pageIndex >= pageList.Count()) return joined;
    ReleaseReadPages(*this, pageIndex);
    TPageRecord& page = pageList[static_cast<size_t>(pageIndex)];
    if (!page.hasContent) return joined;
    const TFilePos savedPos = GetPos();
    const uint8_t savedParseFailed = parseFailed;
    // The open read the same bytes already and said what was wrong with
    // them; the room is what they took then.
    const int64_t room = int64_t{std::max(page.contentLength, 0)} + 1;
    if (!JoinPageContent(page, pageIndex, room, joined, nullptr)) joined.clear();
    joined.resize(std::min(joined.size(), static_cast<size_t>(std::max(page.contentLength, 0))));
    parseFailed = savedParseFailed;
    SetPos(savedPos);
    return joined;
}

// TPdfDocument: the open document and the reader that fills it.
//
// The file's bytes, its cursor and its object table belong to TPdfFile (the
// document reads through it); dictionaries become flat lists of token lists;
// every list of the model is a TDynaArray whose current element is
// mirrored into one of the cur* fields below. The window owns one document;
// tests and the command-line tool make their own with a headless user
// interface.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "DocumentUi.h"
#include "FileBytes.h"
#include "FormRecords.h"
#include "ImageBitmaps.h"
#include "OpenResult.h"
#include "PdfFile.h"
#include "PdfRecords.h"
#include "PdfText.h"
#include "TDynaArray.h"

// Seconds spent in each stage of the last open, for the benchmark.
struct TOpenTimings {
    double fileRead = 0;
    double xref = 0;
    double pages = 0;
    double fonts = 0;
    double images = 0;
    double contentDecode = 0;
    double interpretation = 0;
    double total = 0;
};

// The document information dictionary as the file gives it (texts in
// UTF-8). A date the file lacks, or has in a form that cannot be read, holds
// the time of opening and is marked as not read.
struct TDocumentInfo {
    std::string producer;
    std::string creator;
    std::string author;
    std::string title;
    std::string subject;
    std::string keywords;
    TDateTimeValue creationDate;
    TDateTimeValue creationTime;
    TDateTimeValue modDate;
    TDateTimeValue modTime;
    bool creationDateRead = false;
    bool modDateRead = false;
};

class TPdfDocument : public TPdfFile {
public:
    explicit TPdfDocument(TDocumentUi& ui);
    TPdfDocument(const TPdfDocument&) = delete;
    TPdfDocument& operator=(const TPdfDocument&) = delete;
    ~TPdfDocument();

    TDocumentUi& Ui() { return ui_; }

    // ---- opening a file ---------------------------------------------------
    // Reads the file at `path` into the model and reports how that went
    // (kept until the next open); the finishing steps run in every case.
    // An open asked for while one runs is ignored (reported as cancelled).
    const TOpenReport& openfilenow(const std::string& path, const TOpenOptions& options = {});
    const TOpenReport& LastOpen() const { return report_; }

    // ---- stages of the open (one file each) --------------------------------
    void ResetDocument();
    TOpenResult ReadFile(const std::string& path);
    void ReadDocumentStructure();
    void FinishOpen();

    // Document information, catalog, page tree and page dictionaries.
    void ReadDocumentInfo();
    bool ReadCatalog();
    // Appends the node's kids; true when it has any. For such a node (not a
    // page) its inheritable entries go to `inheritable` when given.
    bool CollectKids(std::vector<TPageRef>& kids, std::vector<TDictEntry>* inheritable = nullptr);
    void ReadPageTree();
    void ReadPageDicts();
    void ReadResources();
    void ReadPageLoop();
    void ReadAnnotations(TPageRecord& page);

    // Fonts and encodings.
    void CollectFonts();
    // Fonts of the forms and annotation appearances each page may draw,
    // appended behind the pages' own font records (see FormFonts.cpp).
    void CollectFormFonts();
    // The default fonts of the interactive form (/AcroForm /DR), which a
    // viewer draws a field with when it is filled in: records of no page
    // (pageIndex -1), behind all others.
    void CollectFormDefaultFonts();
    void ReadFontDicts();
    void ReadDescriptors();
    void ReadEncodingDicts();

    // Streams and images.
    void CollectImages();
    void ReadImageDicts();
    // Keeps the records of the pictures that can be shown (a JPEG judged by
    // its header); the pixels are decoded when they are drawn. Without
    // readPics ("Bilder einlesen" unchecked) none is kept.
    void DecodeImages(bool readPics = true);
    // The picture of image record `index` at 1/scaleDenom of its size (1, 2,
    // 4 or 8), decoded now or kept from an earlier call; null when it cannot
    // be decoded. The cursor is kept.
    TImageBitmaps::TBitmap ImageBitmap(int32_t index, int32_t scaleDenom = 1);
    // Reads, decodes and joins the page's content streams into `joined`,
    // within what is left of the open's budget, and says in the status
    // lines what could not be read; false when the page cannot be
    // interpreted.
    bool ReadPageContent(TPageRecord& page, int32_t pageIndex, std::vector<uint8_t>& joined);
    // The decoded content of page `pageIndex` (0-based), read from the file
    // again: the pages do not hold it. Empty for a page without readable
    // content. The cursor is kept; the parsed dictionary is discarded.
    std::vector<uint8_t> PageContent(int32_t pageIndex);

    // ---- the document state ------------------------------------------------
    uint8_t opening = 0;

    int32_t pagesObjNum = 0, pagesGen = 0;
    uint8_t pagesFound = 0;
    // The catalog gave no usable page tree: the pages are the page objects
    // the table holds, in file order, and pagesObjNum names no tree.
    bool pagesFromScan = false;
    uint8_t rootHasMediaBox = 0;
    std::array<double, 4> rootMediaBox{};
    // The /Info dictionary as read, for the writer; meaningful only while
    // infoFound is set and infoEntriesValid says an /Info object was read.
    TDictEntryList infoEntries;
    bool infoEntriesValid = false;

    TDynaArray<TPageRecord> pageList;
    // Decoded content bytes this open has read so far (pages that share
    // one content stream each count it).
    int64_t contentBytesRead = 0;
    // Page references collected while the tree is walked (local to an open).
    TDynaArray<TPageRef> pageRefs;

    TDynaArray<TFontRecord> fontList;

    TFormCatalog formCatalog;

    TDynaArray<TImageRecord> imageList;
    // Decoded pictures by record index, within a memory budget.
    TImageBitmaps imageBitmaps;

    TDynaArray<TDisplayItem> displayList;
    TDynaArray<TDisplayItem> pageItems;
    // The font names the runs of both lists point into.
    TRunFontNames runFontNames;
    const std::string& FontNameOf(const TDisplayItem& item) const { return runFontNames.Name(item.fontNameId); }
    // For each page number, the positions of its items in displayList, in
    // list order; kept by the content interpreter so that painting and the
    // pointer tool need not walk the whole list.
    std::vector<std::vector<int32_t>> pageItemIndex;
    // The pages whose items the display list holds because they were asked
    // for, least recently asked first, with the memory their items take; the
    // first give their items up when the sum exceeds the budget.
    struct TShownPage {
        int32_t pageNo = 0;
        size_t bytes = 0;
    };
    std::vector<TShownPage> shownPages;
    size_t shownPagesBytes = 0;
    // Well over a hundred pages of dense text: far more than are ever on screen,
    // so that paging back and forth seldom interprets a page twice.
    size_t displayListBudget = size_t{16} << 20;
    // Counts the times items left the display list, so that positions kept
    // by a view (marks) are known to be stale.
    uint32_t displayListDrops = 0;

    // The document information as read.
    TDocumentInfo info;

    TOpenTimings timings;

private:
    void Problem(TOpenProblemKind kind, std::string detail = {});
    // The open's options say stop.
    bool CancelRequested() const;

    TOpenReport report_;
    TOpenOptions options_;  // of the open that runs
    bool JoinPageContent(TPageRecord& page, int32_t pageIndex, int64_t room, std::vector<uint8_t>& joined,
                         std::vector<TNotice>* problems);

    TDocumentUi& ui_;
};

// The current local date and time.
TDateTimeValue NowLocal();
// What the file's information dictionary holds under a date key
// ("/CreationDate", "/ModDate"): nothing when it has no such entry (the
// document's date values then hold the time of opening); else the entry's
// value as written and, when it is a date that can be read, that date.
struct TInfoDate {
    std::string token;
    bool readable = false;
    TDateTimeValue date;
    TDateTimeValue time;
};
std::optional<TInfoDate> FileInfoDate(const TPdfDocument& doc, const std::string& key);

// TPdfDocument: the open document and the reader that fills it.
//
// The whole file is mapped into memory and read through one cursor
// (fileData, fileSize, filePos); dictionaries become flat lists of token
// lists; every list of the model is a TDynaArray whose current element is
// mirrored into one of the cur* fields below. The window owns one document;
// tests and the command-line tool make their own with a headless user
// interface.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "DocumentUi.h"
#include "FileBytes.h"
#include "FormRecords.h"
#include "ImageBitmaps.h"
#include "OpenResult.h"
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

class TPdfDocument {
public:
    explicit TPdfDocument(TDocumentUi& ui);
    TPdfDocument(const TPdfDocument&) = delete;
    TPdfDocument& operator=(const TPdfDocument&) = delete;
    ~TPdfDocument();

    TDocumentUi& Ui() { return ui_; }

    // ---- opening a file ---------------------------------------------------
    // Reads the file at `path` into the model. Failures reach the user as
    // message boxes, and the finishing steps run in every case; the result
    // (also kept in lastOpenResult) is for callers that act on it.
    TOpenResult openfilenow(const std::string& path);

    // Runs one page's decoded content through the content interpreter (set
    // by the content library with AttachInterpreter); nothing without one.
    // The open does not interpret: a page is interpreted when it is shown,
    // hovered or its text is needed (EnsurePageItems in ContentInterpreter.h).
    void InterPretPage(const uint8_t* content, int32_t length, bool pumpMessages, int32_t pageNo);
    std::function<void(TPdfDocument&, const uint8_t*, int32_t, bool, int32_t)> interpreter;

    // ---- cursor and byte level --------------------------------------------
    void SetPos(int32_t pos) { filePos = pos; }
    int32_t GetPos() const { return filePos; }
    // Copies n bytes from filePos and advances; bytes beyond the data are 0.
    void ReadBytes(uint8_t* buffer, int32_t n);
    // The byte at filePos, or a filler byte past the end (CR when
    // fileSize - filePos + 1 is odd, "`" when even). Always advances by 1.
    uint8_t ReadByteSafe();
    // Whether the next len(text) bytes equal text; advances by len(text)
    // whether or not they do. Bytes beyond the data never match.
    bool MatchAt(const std::string& text);
    bool PrevIsLineEnd() const;

    // ---- line level -------------------------------------------------------
    void BackToLineStart();
    void SkipLine();
    std::string ReadLine();
    int32_t ReadLineInt();

    // ---- token level ------------------------------------------------------
    // The next token; afterwards filePos stands on the first non-blank byte
    // behind it.
    std::string ReadToken();
    void SkipComment();
    void SkipBlanksAndComments();
    int32_t ReadInt();
    // Parses the dictionary at filePos into dictEntries; sets parseFailed
    // when the data there do not start with "<<".
    void ParseDict();
    void DiscardEntries();
    // The filter names of a /Filter entry: a name, an array, or a
    // reference to either. The cursor is kept.
    std::vector<std::string> FilterNames(const TDictEntry& entry);
    // Positions the cursor on the first value token of object n.
    bool FetchObject(int32_t objNum);
    // Takes the parsed list over and installs a fresh, empty dictEntries.
    TDictEntryList TakeDictEntries();

    // Copies up to `length` bytes of the stream whose "stream" keyword is at
    // the cursor; a missing or wrong length is found from "endstream".
    // False without the keyword.
    bool ReadStreamBytes(int32_t length, std::vector<uint8_t>& data);

    // ---- stages of the open (one file each) --------------------------------
    void ResetDocument();
    TOpenResult ReadFile(const std::string& path);
    // Fills objTable from the cross-reference chain, rebuilding it by a scan
    // of the file where the chain is unusable (sets `repaired`), and copies
    // the objects of object streams behind the file's bytes. False when no
    // catalog was found.
    bool BuildObjectTable();
    bool LocateStartXref(int32_t& sectionPos);
    bool ReadXrefChain(int32_t sectionPos);
    bool ReadClassicSection(std::vector<int32_t>& freedHere);
    bool ReadXrefStream(int32_t pos, const std::vector<int32_t>& overridable);
    // Parses the stream object at pos into dictEntries and decodes its data.
    bool ReadObjectStream(int32_t pos, std::vector<uint8_t>& data);
    void TakeTrailerKeys(int32_t& prev, int32_t& xrefStm);
    void ValidateTable();
    void ScanForObjects();
    void RebuildTable(bool chainUsable);
    void FindCatalogByScan(const std::vector<std::pair<int32_t, int32_t>>& objects);
    void MaterializeObjectStreams();
    void MarkStructural(int32_t num, int32_t pos);
    void SetTableEntry(int64_t num, const TObjEntry& value);
    int64_t TableRoom() const;
    // The (object number, offset) pairs at the start of an object stream.
    static std::vector<std::pair<int32_t, int32_t>> ObjectStreamIndex(const std::vector<uint8_t>& data,
                                                                      int64_t count);
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
    // its header); the pixels are decoded when they are drawn.
    void DecodeImages();
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
    std::string programDir;  // the program's folder, ending in "/"

    // The bytes being read: the open file, or a page's content while the
    // interpreter runs. fileBuffer holds the file's bytes.
    const uint8_t* fileData = nullptr;
    int32_t fileSize = 0;
    // The bytes of the file itself: objects taken out of object streams
    // stand behind them, up to fileSize.
    int32_t sourceSize = 0;
    int32_t filePos = 0;
    TFileBytes fileBuffer;

    std::vector<TObjEntry> objTable;
    int32_t objCount = 0;
    // The last open: how it ended, and whether the table had to be rebuilt.
    TOpenResult lastOpenResult = TOpenResult::Invalid;
    bool repaired = false;
    // Numbers whose table entry does not point at their object, and where
    // the scan of the file found each object (the last one of a number).
    std::vector<int32_t> badEntries;
    std::unordered_map<int32_t, int32_t> scannedOffsets;
    // Numbers whose in-use entry pointed at other bytes and which the scan
    // did not find: the repaired table has them free, the writer writes them
    // as null so that references to them keep meaning "nothing".
    std::vector<int32_t> lostObjects;
    // What the reader met and cannot do, where the file's structure needed
    // it (the filter of an object or cross-reference stream, "/RunLengthDecode");
    // it explains an open that could not read the catalog or the pages.
    std::string unsupportedFeature;

    // The trailer's /ID entry as read (no tokens when there is none).
    TDictEntry trailerId;
    int32_t rootObjNum = 0, rootGen = 0;
    uint8_t rootFound = 0;
    int32_t infoObjNum = 0, infoGen = 0;
    uint8_t infoFound = 0;
    int32_t encryptObjNum = 0, encryptGen = 0;
    uint8_t encrypted = 0;
    uint8_t parseFailed = 0;
    uint8_t opening = 0;
    uint8_t cancelRequested = 0;

    TDictEntry* curDictEntry = nullptr;
    TDictEntryList dictEntries{&curDictEntry};

    int32_t pagesObjNum = 0, pagesGen = 0;
    uint8_t pagesFound = 0;
    // The catalog gave no usable page tree: the pages are the page objects
    // the table holds, in file order, and pagesObjNum names no tree.
    bool pagesFromScan = false;
    uint8_t rootHasMediaBox = 0;
    std::array<double, 4> rootMediaBox{};
    // The /Info dictionary as read, for the writer; meaningful only while
    // infoFound is set and infoEntriesValid says an /Info object was read.
    TDictEntryList infoEntries{&curDictEntry};
    bool infoEntriesValid = false;

    TPageRecord* curPage = nullptr;
    TDynaArray<TPageRecord> pageList{&curPage};
    // Decoded content bytes this open has read so far (pages that share
    // one content stream each count it).
    int64_t contentBytesRead = 0;
    TContentRef* curContentRef = nullptr;
    TAnnotation* curAnnot = nullptr;
    // Page references collected while the tree is walked (local to an open).
    TPageRef* curPageRef = nullptr;
    TDynaArray<TPageRef> pageRefs{&curPageRef};

    TFontRecord* curFont = nullptr;
    TDynaArray<TFontRecord> fontList{&curFont};

    TFormCatalog formCatalog;

    TImageRecord* curImage = nullptr;
    TDynaArray<TImageRecord> imageList{&curImage};
    // Decoded pictures by record index, within a memory budget.
    TImageBitmaps imageBitmaps;

    TDisplayItem* curItem = nullptr;
    TDynaArray<TDisplayItem> displayList{&curItem};
    TDisplayItem* curPageItem = nullptr;
    TDynaArray<TDisplayItem> pageItems{&curPageItem};
    // The font names the runs of both lists point into.
    TRunFontNames runFontNames;
    const std::string& FontNameOf(const TDisplayItem& item) const { return runFontNames.Name(item.fontNameId); }
    TPathSegment* curSegment = nullptr;
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

    // The "Informationen" tab's values (UTF-8).
    std::string Edit1;  // Producer
    std::string Edit2;  // Creator
    std::string Edit3;  // Author
    std::string Edit4;  // Title
    std::string Edit5;  // Subject
    std::string Edit6;  // Keywords
    TDateTimeValue DateTimePicker1;  // creation date
    TDateTimeValue DateTimePicker2;  // creation time
    TDateTimeValue DateTimePicker3;  // modification date
    TDateTimeValue DateTimePicker4;  // modification time
    // Dates the user set; a date not set is kept as the file had it
    // (creation) or becomes the time of saving (modification).
    bool creationDateEdited = false;
    bool modDateEdited = false;

    // "Bilder einlesen".
    bool readPics = true;

    TOpenTimings timings;

private:
    bool JoinPageContent(TPageRecord& page, int32_t pageIndex, int64_t room, std::vector<uint8_t>& joined,
                         std::vector<std::string>* problems);

    TDocumentUi& ui_;
};

// The current local date and time.
TDateTimeValue NowLocal();

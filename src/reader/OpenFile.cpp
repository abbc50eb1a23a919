// The frame of an open: guard, reset, reading the file, the cross-reference
// chain and the trailers, the messages, and the finishing steps that leave
// the program ready for the next open whatever happened.
#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <ctime>
#include <new>
#include <string_view>
#include <unordered_map>

#include "PdfDocument.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// How far into the file the "%PDF-" header may stand (some writers put
// a few bytes of their own before it).
constexpr size_t kHeaderSearch = 1024;

// Where the header starts, or npos.
size_t HeaderPos(const TFileBytes& file) {
    const std::string_view head(reinterpret_cast<const char*>(file.data()), std::min(file.size(), kHeaderSearch));
    return head.find("%PDF-");
}

// Pages that share a font dictionary share what it says: each dictionary is
// read once and what was read is copied to the records of the other pages
// (2000 pages in five fonts read five dictionaries, not 10000). The records
// are filled where they stand: a second list as long would be memory the
// system has to hand out anew.
void ReadFontsOncePerDictionary(TPdfDocument& doc) {
    std::vector<TFontRecord> records = std::move(doc.fontList.data);
    doc.fontList.Clear();
    std::vector<size_t> readAs(records.size());  // index among the records read
    std::unordered_map<TFilePos, size_t> byDict;
    for (size_t i = 0; i < records.size(); ++i) {
        const TFontRecord& record = records[i];
        // A record whose dictionary was not found reads nothing; it is kept
        // on its own all the same.
        const auto [found, first] = byDict.emplace(record.fontDictPos, static_cast<size_t>(doc.fontList.Count()));
        if (!first && record.fontDictPos > 0) {
            readAs[i] = found->second;
            continue;
        }
        readAs[i] = static_cast<size_t>(doc.fontList.Count());
        *doc.fontList.Append() = record;
    }

    doc.ReadFontDicts();
    doc.ReadDescriptors();
    doc.ReadEncodingDicts();

    const std::vector<TFontRecord> read = std::move(doc.fontList.data);
    doc.fontList.Clear();
    for (size_t i = 0; i < records.size(); ++i) {
        // What the record says of where it is used; the rest comes from
        // its dictionary.
        TFontRecord& record = records[i];
        TFontRecord filled = read[readAs[i]];
        filled.pageIndex = record.pageIndex;
        filled.resName = std::move(record.resName);
        filled.use = record.use;
        filled.scopePos = record.scopePos;
        filled.usedBy = std::move(record.usedBy);
        record = std::move(filled);
    }
    doc.fontList.data = std::move(records);
    doc.fontList.count = static_cast<uint32_t>(doc.fontList.data.size());
    doc.fontList.Grow();
    if (doc.fontList.count > 0) doc.fontList.Select(doc.fontList.Count() - 1);
}

}  // namespace

TPdfDocument::TPdfDocument(TDocumentUi& ui) : ui_(ui) {}

TPdfDocument::~TPdfDocument() = default;

TDateTimeValue NowLocal() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    TDateTimeValue v;
    v.year = local.tm_year + 1900;
    v.month = local.tm_mon + 1;
    v.day = local.tm_mday;
    v.hour = local.tm_hour;
    v.minute = local.tm_min;
    v.second = local.tm_sec;
    return v;
}

const TOpenReport& TPdfDocument::openfilenow(const std::string& path, const TOpenOptions& options) {
    if (opening) {
        static const TOpenReport kIgnored{TOpenResult::Cancelled, {}};
        return kIgnored;
    }
    ui_.ShowProgressWindow();
    ui_.Progress({TProgressStep::Started});
    opening = 1;
    options_ = options;
    timings = TOpenTimings{};
    const auto openStart = Clock::now();
    report_ = TOpenReport{};
    TOpenResult result = TOpenResult::Invalid;
    try {
        ResetDocument();
        result = ReadFile(path);
    } catch (const std::bad_alloc&) {
        // What was read so far is given up: the memory is needed to go on.
        ResetDocument();
        Problem(TOpenProblemKind::NoMemory);
        result = TOpenResult::OutOfMemory;
    } catch (const std::exception& error) {
        Problem(TOpenProblemKind::Failure, error.what());
    }
    if (CancelRequested()) result = TOpenResult::Cancelled;
    report_.outcome = result;
    options_ = TOpenOptions{};
    timings.total = SecondsSince(openStart);
    FinishOpen();
    return report_;
}

void TPdfDocument::Problem(TOpenProblemKind kind, std::string detail) {
    TOpenProblem problem;
    problem.kind = kind;
    problem.detail = std::move(detail);
    report_.problems.push_back(std::move(problem));
}

bool TPdfDocument::CancelRequested() const { return options_.cancel && options_.cancel->load(); }

TOpenResult TPdfDocument::ReadFile(const std::string& path) {
    auto stageStart = Clock::now();
    switch (Load(path)) {
        case TFileBytes::TLoad::Loaded: break;
        case TFileBytes::TLoad::NoMemory:
            Problem(TOpenProblemKind::NoMemory);
            return TOpenResult::OutOfMemory;
        case TFileBytes::TLoad::Unreadable:
            Problem(TOpenProblemKind::CannotRead);
            return TOpenResult::Unreadable;
    }
    timings.fileRead = SecondsSince(stageStart);

    if (Source().empty()) {
        Problem(TOpenProblemKind::EmptyFile);
        return TOpenResult::Invalid;
    }
    const size_t header = HeaderPos(Source());
    if (header == std::string_view::npos) {
        Problem(TOpenProblemKind::NoPdfHeader);
        return TOpenResult::Invalid;
    }
    uint8_t version[3];
    SetPos(static_cast<TFilePos>(header) + 5);
    ReadBytes(version, 3);
    // Versions up to 1.7 select their own item; a later one (1.8, 2.0) the
    // latest the writer offers.
    if (version[0] == '1' && version[1] == '.' && version[2] >= '2' && version[2] <= '7')
        ui_.SelectVersionItem(version[2] - '2');
    else if ((version[0] == '1' && version[1] == '.' && version[2] >= '8' && version[2] <= '9') ||
             (version[0] == '2' && version[1] == '.'))
        ui_.SelectVersionItem(5);

    stageStart = Clock::now();
    SetPassword(options_.password);
    const bool catalogFound = BuildObjectTable();
    timings.xref = SecondsSince(stageStart);
    if (const auto badNumber = BadNumber()) {
        report_.problems.push_back(*badNumber);
        return TOpenResult::Invalid;
    }
    // Checking every object's place has touched all of a large file; the
    // pages and fonts need a small part of it, read again as they go.
    ReleaseBytes(0, SourceSize());

    switch (CryptState()) {
        case TCryptState::Clear:
        case TCryptState::Opened: break;
        case TCryptState::PasswordNeeded:
            Problem(TOpenProblemKind::PasswordNeeded);
            return TOpenResult::PasswordNeeded;
        case TCryptState::WrongPassword:
            Problem(TOpenProblemKind::WrongPassword);
            return TOpenResult::PasswordNeeded;
        case TCryptState::Unsupported:
            Problem(TOpenProblemKind::Encrypted);
            return TOpenResult::Encrypted;
    }
    if (infoFound) ReadDocumentInfo();
    if (catalogFound) ReadDocumentStructure();
    if (const auto badNumber = BadNumber()) {
        report_.problems.push_back(*badNumber);
        return TOpenResult::Invalid;
    }
    // The structure could not be read because a stream of it needs what the
    // reader cannot do: that, not damage, is what the user should hear.
    if ((!catalogFound || parseFailed) && !unsupportedFeature.empty()) {
        Problem(TOpenProblemKind::UnsupportedFilter, unsupportedFeature);
        return TOpenResult::Unsupported;
    }
    if (!catalogFound || parseFailed) {
        Problem(TOpenProblemKind::Damaged);
        return TOpenResult::Invalid;
    }
    if (repaired) {
        Problem(TOpenProblemKind::TableRebuilt);
        return TOpenResult::Repaired;
    }
    return TOpenResult::Opened;
}

void TPdfDocument::ResetDocument() {
    imageBitmaps.Clear();
    imageList.Clear();
    displayList.Clear();
    pageItems.Clear();
    runFontNames.Clear();
    pageItemIndex.clear();
    shownPages.clear();
    shownPagesBytes = 0;
    ++displayListDrops;
    fontList.Clear();
    formCatalog.Clear();
    pagesFound = 0;
    pagesFromScan = false;
    info = TDocumentInfo();
    const TDateTimeValue now = NowLocal();
    info.creationDate = info.creationTime = info.modDate = info.modTime = now;
    ui_.InfoFieldsChanged();
    rootHasMediaBox = 0;
    pageRefs.Clear();
    pageList.Clear();
    contentBytesRead = 0;
    ResetFile();
}

void TPdfDocument::ReadDocumentStructure() {
    auto stageStart = Clock::now();
    if (!ReadCatalog()) {
        parseFailed = 1;
        return;
    }
    ReadPageTree();
    ReadPageDicts();
    ReadResources();
    timings.pages = SecondsSince(stageStart);

    stageStart = Clock::now();
    CollectFonts();
    CollectFormFonts();
    ReadFontsOncePerDictionary(*this);
    timings.fonts = SecondsSince(stageStart);

    stageStart = Clock::now();
    CollectImages();
    // Without the pictures every record is dropped again: their
    // dictionaries are not worth a walk over the file.
    if (options_.readPics) ReadImageDicts();
    DecodeImages(options_.readPics);
    timings.images = SecondsSince(stageStart);

    ReadPageLoop();
}

void TPdfDocument::FinishOpen() {
    dictEntries = TDictEntryList();
    pageRefs.Clear();
    ui_.CloseProgressWindow();
    opening = 0;
    ui_.OpenFinished(pageList.Count());
}

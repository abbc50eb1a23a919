// The frame of an open: guard, reset, reading the file, the cross-reference
// chain and the trailers, the messages, and the finishing steps that leave
// the program ready for the next open whatever happened.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <ctime>
#include <new>
#include <string_view>

#include "PdfDocument.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

const char* const kInvalidFile = "Dies ist keine gültige PDF-Datei.";
const char* const kEncryptedFile = "Diese PDF-Datei ist verschlüsselt und kann nicht gelesen werden!";
const char* const kEmptyFile = "Die Datei ist leer.";
const char* const kNotPdf = "Diese Datei ist keine PDF-Datei.";
const char* const kRepaired = "Die Querverweistabelle war beschädigt und wurde neu aufgebaut.";

// How far into the file the "%PDF-" header may stand (some writers put
// a few bytes of their own before it).
constexpr size_t kHeaderSearch = 1024;

// Where the header starts, or npos.
size_t HeaderPos(const std::vector<uint8_t>& file) {
    const std::string_view head(reinterpret_cast<const char*>(file.data()), std::min(file.size(), kHeaderSearch));
    return head.find("%PDF-");
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

void TPdfDocument::InterPretPage(const uint8_t* content, int32_t length, bool pumpMessages, int32_t pageNo) {
    if (interpreter) interpreter(*this, content, length, pumpMessages, pageNo);
}

TOpenResult TPdfDocument::openfilenow(const std::string& path) {
    if (opening) return TOpenResult::Cancelled;
    ui_.ShowProgressWindow();
    ui_.SetStatusLabel("");
    opening = 1;
    cancelRequested = 0;
    timings = TOpenTimings{};
    const auto openStart = Clock::now();
    TOpenResult result = TOpenResult::Invalid;

    try {
        ResetDocument();
        result = ReadFile(path);
    } catch (const TConversionError& error) {
        ui_.ShowMessage(error.what(), TMsgIcon::Error);
    } catch (const std::bad_alloc&) {
        ui_.ShowMessage("Zu wenig Arbeitsspeicher, um die Datei " + path + " zu lesen.", TMsgIcon::Error);
    } catch (const std::exception& error) {
        ui_.ShowMessage(error.what(), TMsgIcon::Error);
    }
    lastOpenResult = result;
    timings.total = SecondsSince(openStart);
    FinishOpen();
    return result;
}

TOpenResult TPdfDocument::ReadFile(const std::string& path) {
    auto stageStart = Clock::now();
    bool readable = false;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        struct stat info {};
        // Offsets are 32-bit: a file of 2 GiB or more cannot be read.
        if (fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= INT32_MAX) {
            fileBuffer.assign(static_cast<size_t>(info.st_size), 0);
            readable = std::fread(fileBuffer.data(), 1, fileBuffer.size(), file) == fileBuffer.size();
        }
        std::fclose(file);
    }
    if (!readable) {
        fileBuffer.clear();
        fileData = nullptr;
        fileSize = 0;
        ui_.ShowMessage("Konnte die Datei " + path + " nicht öffnen.", TMsgIcon::Error);
        return TOpenResult::Unreadable;
    }
    fileData = fileBuffer.data();
    fileSize = static_cast<int32_t>(fileBuffer.size());
    sourceSize = fileSize;
    filePos = 0;
    timings.fileRead = SecondsSince(stageStart);

    if (fileBuffer.empty()) {
        ui_.ShowMessage(kEmptyFile, TMsgIcon::Error);
        return TOpenResult::Invalid;
    }
    const size_t header = HeaderPos(fileBuffer);
    if (header == std::string_view::npos) {
        ui_.ShowMessage(kNotPdf, TMsgIcon::Error);
        return TOpenResult::Invalid;
    }
    uint8_t version[3];
    SetPos(static_cast<int32_t>(header) + 5);
    ReadBytes(version, 3);
    if (version[0] == '1' && version[1] == '.' && version[2] >= '2' && version[2] <= '4')
        ui_.SelectVersionItem(version[2] - '2');

    stageStart = Clock::now();
    const bool catalogFound = BuildObjectTable();
    timings.xref = SecondsSince(stageStart);

    if (encrypted) {
        ui_.ShowMessage(kEncryptedFile, TMsgIcon::Error);
        ui_.ShowMessage(kInvalidFile, TMsgIcon::Error);
        return TOpenResult::Encrypted;
    }
    if (infoFound) ReadDocumentInfo();
    if (catalogFound) ReadDocumentStructure();
    if (!catalogFound || parseFailed) {
        ui_.ShowMessage(kInvalidFile, TMsgIcon::Error);
        return TOpenResult::Invalid;
    }
    if (repaired) {
        ui_.AddStatusLine(kRepaired);
        return TOpenResult::Repaired;
    }
    return TOpenResult::Opened;
}

void TPdfDocument::ResetDocument() {
    for (TImageRecord& image : imageList) deldib(image.dib);
    imageList.Clear();
    displayList.Clear();
    pageItems.Clear();
    pageItemIndex.clear();
    fontList.Clear();
    formCatalog.Clear();
    pagesFound = 0;
    Edit1.clear();
    Edit2.clear();
    Edit3.clear();
    Edit4.clear();
    Edit5.clear();
    Edit6.clear();
    const TDateTimeValue now = NowLocal();
    DateTimePicker1 = DateTimePicker2 = DateTimePicker3 = DateTimePicker4 = now;
    ui_.InfoFieldsChanged();
    rootHasMediaBox = 0;
    dictEntries = TDictEntryList(&curDictEntry);
    pageRefs.Clear();
    pageList.Clear();
    keptContentBytes = 0;
    objTable.clear();
    objTable.shrink_to_fit();
    badEntries.clear();
    scannedOffsets.clear();
    lostObjects.clear();
    repaired = false;
    encrypted = 0;
    objCount = 0;
    rootFound = 0;
    infoFound = 0;
    parseFailed = 0;
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
    ReadFontDicts();
    ReadDescriptors();
    ReadEncodingDicts();
    timings.fonts = SecondsSince(stageStart);

    stageStart = Clock::now();
    CollectImages();
    ReadImageDicts();
    DecodeImages();
    timings.images = SecondsSince(stageStart);

    ReadPageLoop();
}

void TPdfDocument::FinishOpen() {
    dictEntries = TDictEntryList(&curDictEntry);
    pageRefs.Clear();
    ui_.CloseProgressWindow();
    opening = 0;
    ui_.OpenFinished(pageList.Count());
}

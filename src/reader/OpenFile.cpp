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
#include <set>

#include "PdfDocument.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The largest object number a table may reach. PDF's own limit; it keeps a
// subsection header like "2000000000 1" from allocating gigabytes.
constexpr int64_t kMaxObjects = 8388608;

// Bytes an xref entry needs at least ("0 0 n" and a separator).
constexpr int64_t kMinEntryBytes = 6;

// Object numbers below this are kept however small the file is.
constexpr int64_t kMinTableRoom = 4096;

const char* const kInvalidFile = "Dies ist keine gültige PDF-Datei.";

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

void TPdfDocument::openfilenow(const std::string& path) {
    if (opening) return;
    ui_.ShowProgressWindow();
    ui_.SetStatusLabel("");
    opening = 1;
    cancelRequested = 0;
    timings = TOpenTimings{};
    const auto openStart = Clock::now();

    try {
        ResetDocument();

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
        } else {
            fileData = fileBuffer.data();
            fileSize = static_cast<int32_t>(fileBuffer.size());
            filePos = 0;
            timings.fileRead = SecondsSince(stageStart);

            uint8_t version[3];
            SetPos(5);
            ReadBytes(version, 3);
            if (version[0] == '1' && version[1] == '.' && version[2] >= '2' && version[2] <= '4')
                ui_.SelectVersionItem(version[2] - '2');

            stageStart = Clock::now();
            int32_t sectionPos = 0;
            if (!LocateStartXref(sectionPos)) parseFailed = 1;
            if (!parseFailed) ReadXrefChain(sectionPos);
            timings.xref = SecondsSince(stageStart);

            if (encrypted) {
                ui_.ShowMessage("Diese PDF-Datei ist verschlüsselt und kann nicht gelesen werden!", TMsgIcon::Error);
                parseFailed = 1;
            }
            if (infoFound) ReadDocumentInfo();
            if (rootFound && !parseFailed) ReadDocumentStructure();
            else parseFailed = 1;
            if (parseFailed) ui_.ShowMessage(kInvalidFile, TMsgIcon::Error);
        }
    } catch (const TConversionError& error) {
        ui_.ShowMessage(error.what(), TMsgIcon::Error);
    } catch (const std::bad_alloc&) {
        ui_.ShowMessage("Zu wenig Arbeitsspeicher, um die Datei " + path + " zu lesen.", TMsgIcon::Error);
    } catch (const std::exception& error) {
        ui_.ShowMessage(error.what(), TMsgIcon::Error);
    }
    timings.total = SecondsSince(openStart);
    FinishOpen();
}

void TPdfDocument::ResetDocument() {
    for (TImageRecord& image : imageList) deldib(image.dib);
    imageList.Clear();
    displayList.Clear();
    pageItems.Clear();
    pageItemIndex.clear();
    fontList.Clear();
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
    encrypted = 0;
    objCount = 0;
    rootFound = 0;
    infoFound = 0;
    parseFailed = 0;
}

bool TPdfDocument::LocateStartXref(int32_t& sectionPos) {
    parseFailed = 0;
    SetPos(fileSize);
    BackToLineStart();
    bool found = MatchAt("%%EOF");
    // Junk after the last "%%EOF": search backwards, one byte at a time.
    while (!found && filePos > 0) {
        const bool atStart = filePos - 6 <= 0;
        filePos = atStart ? 0 : filePos - 6;
        found = MatchAt("%%EOF");
        if (atStart) break;
    }
    if (!found) return false;

    // "startxref", the offset and "%%EOF" stand on three consecutive
    // non-empty lines.
    BackToLineStart();
    BackToLineStart();
    BackToLineStart();
    if (!MatchAt("startxref")) return false;
    SkipLine();
    sectionPos = ReadLineInt();
    return true;
}

void TPdfDocument::ReadXrefChain(int32_t sectionPos) {
    std::set<int32_t> visited;
    int32_t next = sectionPos;
    for (;;) {
        const int32_t previous = next;
        visited.insert(previous);
        SetPos(previous);
        if (!MatchAt("xref")) {
            parseFailed = 1;
            return;
        }
        SkipLine();
        int32_t first = ReadInt();
        int32_t count = ReadInt();
        std::string tok;
        do {
            const int64_t end = static_cast<int64_t>(first) + count;
            const int64_t roomForEntries = (static_cast<int64_t>(fileSize) - filePos) / kMinEntryBytes + 1;
            if (first < 0 || count < 0 || end > kMaxObjects || count > roomForEntries) {
                parseFailed = 1;
                return;
            }
            // Every object takes bytes of the file, so no real file numbers
            // more objects than it has bytes; a lone entry "8388600 1" in a
            // tiny file would otherwise size the table (and the table of the
            // file we write) at 100 MB. Entries past that are read and
            // dropped, like objects that are not there.
            const int64_t tableEnd = std::min<int64_t>(end, std::max<int64_t>(fileSize, kMinTableRoom));
            if (tableEnd > objCount) {
                objTable.resize(static_cast<size_t>(tableEnd));
                objCount = static_cast<int32_t>(tableEnd);
            }
            for (int32_t i = first; i < end; ++i) {
                const int32_t offset = ReadInt();
                const int32_t generation = ReadInt();
                const std::string kind = ReadToken();
                if (i >= tableEnd) continue;
                TObjEntry& entry = objTable[static_cast<size_t>(i)];
                // The newest section is read first and wins.
                if (!entry.known) {
                    entry.offset = offset;
                    entry.generation = generation;
                    entry.inUse = kind != "f";
                    entry.known = 1;
                }
            }
            tok = ReadToken();
            if (tok != "trailer") {
                if (auto firstOfNext = TryStrToInt(tok)) {
                    first = *firstOfNext;
                    count = ReadInt();
                }
            }
        } while (tok != "trailer" && filePos <= fileSize);
        if (tok != "trailer") {
            parseFailed = 1;
            return;
        }

        ParseDict();
        dictEntries.Rewind();
        while (dictEntries.Next()) {
            const auto& tokens = curDictEntry->tokens;
            const std::string& key = tokens[0];
            if (tokens.size() >= 4 && tokens[3] == "R") {
                if (key == "/Root" && !rootFound) {
                    rootObjNum = StrToInt(tokens[1]);
                    rootGen = StrToInt(tokens[2]);
                    rootFound = 1;
                } else if (key == "/Encrypt" && !encrypted) {
                    encryptObjNum = StrToInt(tokens[1]);
                    encryptGen = StrToInt(tokens[2]);
                    encrypted = 1;
                } else if (key == "/Info" && !infoFound) {
                    infoObjNum = StrToInt(tokens[1]);
                    infoGen = StrToInt(tokens[2]);
                    infoFound = 1;
                }
            }
            if (tokens.size() >= 2 && key == "/Prev") next = StrToInt(tokens[1]);
        }
        DiscardEntries();
        // A trailer without /Prev ends the chain; a /Prev back to any section
        // already read would repeat forever, so the chain stops there too.
        if (parseFailed || next == previous || visited.count(next)) return;
    }
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

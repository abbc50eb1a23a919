// The object table: the cross-reference chain (classic tables, cross-
// reference streams, hybrid files), the check of every entry, the rebuild by
// scanning the file when the chain is unusable, and the objects of object
// streams, copied into a block of their own as ordinary "N G obj" text, whose
// positions follow the file's, so that every reader and the writer find them
// by position like any other object.
#include <algorithm>
#include <climits>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "Filters.h"
#include "Lexer.h"
#include "PdfFile.h"
#include "PdfText.h"

namespace {

// An entry's value is an array of strings only ("/ID [ <...> <...> ]").
bool IsStringArray(const std::vector<std::string>& tokens) {
    if (tokens.size() < 3 || tokens[1] != "[" || tokens.back() != "]") return false;
    for (size_t i = 2; i + 1 < tokens.size(); ++i)
        if (tokens[i].empty() || (tokens[i][0] != '<' && tokens[i][0] != '(')) return false;
    return true;
}

// The largest object number a table may reach. PDF's own limit; it keeps a
// subsection header like "2000000000 1" from allocating gigabytes.
constexpr int64_t kMaxObjects = 8388608;

// Bytes an xref entry needs at least ("0 0 n" and a separator).
constexpr int64_t kMinEntryBytes = 6;

// Object numbers below this are kept however small the file is.
constexpr int64_t kMinTableRoom = 4096;

// Objects per file byte the table may number: objects in compressed object
// streams take fewer bytes than their number suggests, but not this few.
constexpr int64_t kObjectsPerFileByte = 4;

// A cross-reference stream's field widths: no offset needs more than 8 bytes.
constexpr int64_t kMaxFieldWidth = 8;

// Bytes the objects copied out of object streams may add, per file byte
// (with a floor for small files).
constexpr int64_t kExtensionPerFileByte = 32;
constexpr int64_t kMinExtension = int64_t{64} << 20;

// How far into a dictionary the scan looks for the type of a stream.
constexpr size_t kTypeLookahead = 1024;

bool IsDigit(uint8_t ch) { return ch >= '0' && ch <= '9'; }
bool IsDelimiter(uint8_t ch) {
    return ch == '(' || ch == ')' || ch == '<' || ch == '>' || ch == '[' || ch == ']' || ch == '{' || ch == '}' ||
           ch == '/' || ch == '%';
}

const TDictEntry* FindKey(const TDictEntryList& entries, std::string_view key) {
    for (const TDictEntry& entry : entries)
        if (!entry.tokens.empty() && entry.tokens[0] == key) return &entry;
    return nullptr;
}

std::optional<int64_t> EntryInt(const TDictEntryList& entries, std::string_view key) {
    const TDictEntry* entry = FindKey(entries, key);
    if (!entry || entry->tokens.size() < 2) return std::nullopt;
    return TryStrToInt(entry->tokens[1]);
}

bool IsReference(const TDictEntry& entry) { return entry.tokens.size() >= 4 && entry.tokens[3] == "R"; }

bool EntryIs(const TDictEntryList& entries, std::string_view key, std::string_view value) {
    const TDictEntry* entry = FindKey(entries, key);
    return entry && entry->tokens.size() >= 2 && entry->tokens[1] == value;
}

// The integers of an array value ("/W [1 2 1]").
std::vector<int64_t> EntryInts(const TDictEntryList& entries, std::string_view key) {
    std::vector<int64_t> values;
    const TDictEntry* entry = FindKey(entries, key);
    if (!entry) return values;
    for (size_t i = 1; i < entry->tokens.size(); ++i)
        if (auto value = TryStrToInt(entry->tokens[i])) values.push_back(*value);
    return values;
}

// A non-negative integer token that fits a position.
std::optional<TFilePos> PositionToken(const TToken& token) {
    if (token.kind != TTokenKind::Integer || token.text[0] == '-' || token.text[0] == '+') return std::nullopt;
    return TryStrToPos(std::string(token.text));
}

// A non-negative integer token that fits an object number.
std::optional<int32_t> ObjectNumber(const TToken& token) {
    if (token.kind != TTokenKind::Integer || token.text[0] == '-' || token.text[0] == '+') return std::nullopt;
    return TryStrToInt(std::string(token.text));
}

// Where the bytes at pos hold "num gen obj", the object number; nothing
// otherwise.
std::optional<int32_t> ObjectHeaderAt(const TByteSpan& span, TFilePos pos) {
    if (!span.Holds(pos)) return std::nullopt;
    TLexer lexer = span.LexerAt(pos);
    const auto num = ObjectNumber(lexer.Next());
    if (!num || !ObjectNumber(lexer.Next()) || lexer.Next().text != "obj") return std::nullopt;
    return num;
}

}  // namespace

int64_t TPdfFile::TableRoom() const {
    return std::clamp<int64_t>(SourceSize() * kObjectsPerFileByte, kMinTableRoom, kMaxObjects);
}

void TPdfFile::SetTableEntry(int64_t num, const TObjEntry& value) {
    if (num < 0 || num >= TableRoom()) return;
    if (num >= objCount) {
        objTable.resize(static_cast<size_t>(num) + 1);
        objCount = static_cast<int32_t>(num) + 1;
    }
    TObjEntry& entry = objTable[static_cast<size_t>(num)];
    // The newest section is read first and wins.
    if (entry.known) return;
    entry = value;
    entry.known = 1;
}

void TPdfFile::MarkStructural(int32_t num, TFilePos pos) {
    if (num < 0 || num >= objCount) return;
    TObjEntry& entry = objTable[static_cast<size_t>(num)];
    if (entry.kind == TObjKind::AtOffset && entry.offset == pos) entry.structural = 1;
}

bool TPdfFile::LocateStartXref(TFilePos& sectionPos) {
    // The last "startxref" of the file; what follows it up to "%%EOF" may be
    // damaged or missing, blanks and line ends may be anything.
    const TByteSpan span = SpanAt(0);
    const std::string_view file = span.View(0, span.end);
    const size_t at = file.rfind("startxref");
    if (at == std::string_view::npos) return false;
    TLexer lexer = span.LexerAt(static_cast<TFilePos>(at) + 9);
    const auto value = PositionToken(lexer.Next());
    if (!value || *value >= span.end) return false;
    sectionPos = *value;
    return true;
}

void TPdfFile::TakeTrailerKeys(TFilePos& prev, TFilePos& xrefStm) {
    for (const TDictEntry& entry : dictEntries) {
        const auto& tokens = entry.tokens;
        if (tokens.empty()) continue;
        const std::string& key = tokens[0];
        if (IsReference(entry)) {
            const auto num = TryStrToInt(tokens[1]);
            const auto gen = TryStrToInt(tokens[2]);
            const bool numbers = num && gen;
            if ((key == "/Root" && !rootFound) || (key == "/Info" && !infoFound)) {
                if (!numbers) NoteBadNumber(TOpenProblemKind::NotAnInteger, num ? tokens[2] : tokens[1]);
            }
            if (key == "/Root" && !rootFound && numbers) {
                rootObjNum = *num;
                rootGen = *gen;
                rootFound = 1;
            } else if (key == "/Info" && !infoFound && numbers) {
                infoObjNum = *num;
                infoGen = *gen;
                infoFound = 1;
            }
        }
        // The newest trailer's identifier, which a saved file keeps (PDF/A
        // and PDF/X require one).
        if (key == "/ID" && trailerId.tokens.empty() && IsStringArray(tokens)) trailerId = entry;
        // A reference or a dictionary written in place: either encrypts.
        if ((key == "/Encrypt" || key == "/ID") && tokens.size() >= 2 && tokens[1] != "null") TakeEncryptKeys(entry);
        if (tokens.size() >= 2 && key == "/Prev") prev = TryStrToPos(tokens[1]).value_or(-1);
        if (tokens.size() >= 2 && key == "/XRefStm") xrefStm = TryStrToPos(tokens[1]).value_or(-1);
    }
}

bool TPdfFile::ReadClassicSection(std::vector<int32_t>& freedHere) {
    SkipLine();
    int32_t first = ReadInt();
    int32_t count = ReadInt();
    std::string tok;
    do {
        const int64_t end = static_cast<int64_t>(first) + count;
        const int64_t roomForEntries = (End() - GetPos()) / kMinEntryBytes + 1;
        if (first < 0 || count < 0 || end > kMaxObjects || count > roomForEntries) return false;
        for (int32_t i = first; i < end; ++i) {
            TObjEntry entry;
            entry.offset = TryStrToPos(ReadToken()).value_or(0);
            entry.generation = ReadInt();
            entry.inUse = ReadToken() != "f";
            entry.kind = entry.inUse ? TObjKind::AtOffset : TObjKind::Free;
            const bool wasKnown = i < objCount && objTable[static_cast<size_t>(i)].known;
            SetTableEntry(i, entry);
            if (!wasKnown && !entry.inUse) freedHere.push_back(i);
        }
        tok = ReadToken();
        if (tok != "trailer") {
            const auto firstOfNext = TryStrToInt(tok);
            if (!firstOfNext) return false;
            first = *firstOfNext;
            count = ReadInt();
        }
    } while (tok != "trailer" && GetPos() <= End());
    if (tok != "trailer") return false;
    DiscardEntries();
    ParseDict();
    return !parseFailed;
}

bool TPdfFile::ReadXrefStream(TFilePos pos, const std::vector<int32_t>& overridable) {
    std::vector<uint8_t> data;
    const auto header = ObjectHeaderAt(SpanAt(pos), pos);
    if (!header || !ReadObjectStream(pos, data) || !EntryIs(dictEntries, "/Type", "/XRef")) return false;
    TObjEntry self;
    self.offset = pos;
    self.inUse = 1;
    self.kind = TObjKind::AtOffset;
    SetTableEntry(*header, self);
    MarkStructural(*header, pos);
    const std::vector<int64_t> widths = EntryInts(dictEntries, "/W");
    if (widths.size() < 3) return false;
    int64_t rowBytes = 0;
    for (size_t i = 0; i < 3; ++i) {
        if (widths[i] < 0 || widths[i] > kMaxFieldWidth) return false;
        rowBytes += widths[i];
    }
    if (rowBytes == 0) return false;
    std::vector<int64_t> index = EntryInts(dictEntries, "/Index");
    if (index.empty()) index = {0, EntryInt(dictEntries, "/Size").value_or(0)};
    std::unordered_set<int32_t> mayOverride(overridable.begin(), overridable.end());

    size_t row = 0;
    const size_t rows = data.size() / static_cast<size_t>(rowBytes);
    for (size_t s = 0; s + 1 < index.size(); s += 2) {
        const int64_t first = index[s];
        const int64_t count = index[s + 1];
        if (first < 0 || count < 0 || first + count > kMaxObjects) return false;
        for (int64_t num = first; num < first + count && row < rows; ++num, ++row) {
            const uint8_t* p = data.data() + row * static_cast<size_t>(rowBytes);
            int64_t fields[3] = {1, 0, 0};
            for (size_t f = 0; f < 3; ++f) {
                if (widths[f] == 0) continue;
                uint64_t value = 0;
                for (int64_t b = 0; b < widths[f]; ++b) value = value << 8 | *p++;
                fields[f] = static_cast<int64_t>(value & 0x7FFFFFFFFFFFFFFF);
            }
            TObjEntry entry;
            if (fields[0] == 1) {
                entry.kind = TObjKind::AtOffset;
                entry.inUse = 1;
                entry.offset = fields[1];
                entry.generation = static_cast<int32_t>(std::min<int64_t>(fields[2], INT32_MAX));
            } else if (fields[0] == 2) {
                entry.kind = TObjKind::InStream;
                entry.inUse = 1;
                entry.offset = std::min<int64_t>(fields[1], INT32_MAX);
                entry.generation = static_cast<int32_t>(std::min<int64_t>(fields[2], INT32_MAX));
            } else if (fields[0] != 0) {
                continue;  // unknown types are to be read as null references
            }
            // In a hybrid file the stream lists what the table beside it
            // shows as free for older readers.
            if (mayOverride.count(static_cast<int32_t>(num)) && entry.inUse)
                objTable[static_cast<size_t>(num)].known = 0;
            SetTableEntry(num, entry);
        }
    }
    return true;
}

bool TPdfFile::ReadXrefChain(TFilePos sectionPos) {
    const TByteSpan file = SpanAt(0);
    std::unordered_set<TFilePos> visited;
    TFilePos next = sectionPos;
    while (next >= 0 && next < file.end && visited.insert(next).second) {
        TFilePos pos = next;
        while (file.Holds(pos) && IsPdfWhiteSpace(file[pos])) ++pos;
        TFilePos prev = -1;
        TFilePos xrefStm = -1;
        SetPos(pos);
        if (MatchAt("xref")) {
            std::vector<int32_t> freedHere;
            if (!ReadClassicSection(freedHere)) return false;
            TDictEntryList trailer = TakeDictEntries();
            dictEntries = std::move(trailer);
            TakeTrailerKeys(prev, xrefStm);
            DiscardEntries();
            // A broken /XRefStm costs only what it would have added.
            if (xrefStm >= 0 && xrefStm < file.end && !visited.count(xrefStm)) {
                TFilePos ignoredPrev = -1, ignoredStm = -1;
                if (ReadXrefStream(xrefStm, freedHere)) TakeTrailerKeys(ignoredPrev, ignoredStm);
                DiscardEntries();
            }
        } else {
            if (!ReadXrefStream(pos, {})) {
                DiscardEntries();
                return false;
            }
            TakeTrailerKeys(prev, xrefStm);
            DiscardEntries();
        }
        next = prev;
    }
    return true;
}

bool TPdfFile::ReadObjectStream(TFilePos pos, std::vector<uint8_t>& data) {
    data.clear();
    DiscardEntries();
    SetPos(pos);
    ReadToken();
    ReadToken();
    if (ReadToken() != "obj") return false;
    ParseDict();
    if (parseFailed) {
        parseFailed = 0;
        return false;
    }
    TFilePos length = -1;
    if (const TDictEntry* entry = FindKey(dictEntries, "/Length")) {
        if (IsReference(*entry)) {
            const TFilePos saved = GetPos();
            if (FetchObject(TryStrToInt(entry->tokens[1]).value_or(-1))) length = TryStrToPos(ReadToken()).value_or(0);
            SetPos(saved);
        } else if (entry->tokens.size() >= 2) {
            length = TryStrToPos(entry->tokens[1]).value_or(-1);
        }
    }
    if (!ReadStreamBytes(length, data)) return false;
    std::vector<std::string> filters;
    if (const TDictEntry* entry = FindKey(dictEntries, "/Filter")) filters = FilterNames(*entry);
    const TDictEntry* parms = FindKey(dictEntries, "/DecodeParms");
    try {
        const std::string* unsupported =
            DecodeFilters(filters, parms ? ReadPredictorParms(parms->tokens) : TPredictorParms{}, data).unsupported;
        if (unsupported) unsupportedFeature = *unsupported;
        return unsupported == nullptr;
    } catch (const TDecodeError&) {
        return false;
    }
}

bool TPdfFile::DecodedStream(int32_t objNum, std::vector<uint8_t>& data) {
    const auto pos = ObjectPos(objNum);
    if (!pos) {
        data.clear();
        return false;
    }
    return ReadObjectStream(*pos, data);
}

void TPdfFile::ValidateTable() {
    for (int32_t num = 0; num < objCount; ++num) {
        TObjEntry& entry = objTable[static_cast<size_t>(num)];
        if (entry.kind != TObjKind::AtOffset || !entry.inUse) continue;
        ReleaseWhileWalking(num, kObjectsPerRelease);
        const auto header = ObjectHeaderAt(SpanAt(entry.offset), entry.offset);
        if (header && *header == num) continue;
        badEntries.push_back(num);
    }
}

void TPdfFile::ScanForObjects() {
    scannedOffsets.clear();
    const TByteSpan span = SpanAt(0);
    const std::string_view file = span.View(0, span.end);
    for (size_t at = file.find("obj"); at != std::string_view::npos; at = file.find("obj", at + 3)) {
        if (at + 3 < file.size() && !IsPdfWhiteSpace(static_cast<uint8_t>(file[at + 3])) &&
            !IsDelimiter(static_cast<uint8_t>(file[at + 3])))
            continue;
        // Backwards over "num gen ": at least one blank between the parts.
        size_t p = at;
        size_t blanks = 0;
        while (p > 0 && IsPdfWhiteSpace(static_cast<uint8_t>(file[p - 1]))) --p, ++blanks;
        if (blanks == 0) continue;
        const size_t genEnd = p;
        while (p > 0 && IsDigit(static_cast<uint8_t>(file[p - 1])) && genEnd - p < 10) --p;
        if (p == genEnd) continue;
        blanks = 0;
        while (p > 0 && IsPdfWhiteSpace(static_cast<uint8_t>(file[p - 1]))) --p, ++blanks;
        if (blanks == 0) continue;
        const size_t numEnd = p;
        while (p > 0 && IsDigit(static_cast<uint8_t>(file[p - 1])) && numEnd - p < 10) --p;
        if (p == numEnd) continue;
        if (p > 0 && !IsPdfWhiteSpace(static_cast<uint8_t>(file[p - 1])) && !IsDelimiter(static_cast<uint8_t>(file[p - 1])))
            continue;
        const auto num = TryStrToInt(std::string(file.substr(p, numEnd - p)));
        if (!num || *num < 0 || *num >= TableRoom()) continue;
        scannedOffsets[*num] = static_cast<TFilePos>(p);  // the last one in the file wins
    }
}

void TPdfFile::RebuildTable(bool chainUsable) {
    ScanForObjects();
    repaired = true;
    if (!chainUsable) {
        objTable.clear();
        objCount = 0;
        rootFound = infoFound = 0;
        trailerId = TDictEntry{};
        badEntries.clear();
    }
    // Entries that point at the wrong bytes take the scan's object, or none.
    for (int32_t num : badEntries) {
        TObjEntry& entry = objTable[static_cast<size_t>(num)];
        const auto found = scannedOffsets.find(num);
        entry.inUse = found != scannedOffsets.end();
        entry.kind = entry.inUse ? TObjKind::AtOffset : TObjKind::Free;
        entry.offset = entry.inUse ? found->second : 0;
        entry.generation = 0;
        if (!entry.inUse) lostObjects.push_back(num);
    }
    badEntries.clear();

    std::vector<std::pair<int32_t, TFilePos>> sorted(scannedOffsets.begin(), scannedOffsets.end());
    std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    if (!chainUsable) {
        for (const auto& [num, offset] : sorted) {
            TObjEntry entry;
            entry.kind = TObjKind::AtOffset;
            entry.inUse = 1;
            entry.offset = offset;
            SetTableEntry(num, entry);
        }
    }

    // Trailers, newest (last in the file) first; then the dictionaries of
    // cross-reference streams, which stand in for trailers; object streams
    // give their objects to numbers the scan did not find.
    const TByteSpan span = SpanAt(0);
    const std::string_view file = span.View(0, span.end);
    std::vector<TFilePos> trailers;
    for (size_t at = file.find("trailer"); at != std::string_view::npos; at = file.find("trailer", at + 7))
        trailers.push_back(static_cast<TFilePos>(at));
    for (auto it = trailers.rbegin(); it != trailers.rend(); ++it) {
        DiscardEntries();
        SetPos(*it + 7);
        ParseDict();
        parseFailed = 0;
        TFilePos ignoredPrev = -1, ignoredStm = -1;
        TakeTrailerKeys(ignoredPrev, ignoredStm);
    }
    DiscardEntries();
    for (const auto& [num, offset] : sorted) {
        const size_t end = std::min(file.size(), static_cast<size_t>(offset) + kTypeLookahead);
        const std::string_view head = file.substr(static_cast<size_t>(offset), end - static_cast<size_t>(offset));
        const bool maybeXref = head.find("/XRef") != std::string_view::npos;
        const bool maybeObjStm = head.find("/ObjStm") != std::string_view::npos;
        if (!maybeXref && !maybeObjStm) continue;
        std::vector<uint8_t> data;
        if (maybeXref && chainUsable) continue;
        if (!ReadObjectStream(offset, data)) continue;
        if (EntryIs(dictEntries, "/Type", "/XRef")) {
            TFilePos ignoredPrev = -1, ignoredStm = -1;
            TakeTrailerKeys(ignoredPrev, ignoredStm);
            MarkStructural(num, offset);
        } else if (EntryIs(dictEntries, "/Type", "/ObjStm") && !chainUsable) {
            const auto count = EntryInt(dictEntries, "/N").value_or(0);
            const std::vector<std::pair<int32_t, int32_t>> pairs = ObjectStreamIndex(data, count);
            for (size_t i = 0; i < pairs.size(); ++i) {
                if (scannedOffsets.count(pairs[i].first)) continue;
                TObjEntry entry;
                entry.kind = TObjKind::InStream;
                entry.inUse = 1;
                entry.offset = num;
                entry.generation = static_cast<int32_t>(i);
                SetTableEntry(pairs[i].first, entry);
            }
        }
        DiscardEntries();
    }
    if (!rootFound) FindCatalogByScan(sorted);
}

void TPdfFile::FindCatalogByScan(const std::vector<std::pair<int32_t, TFilePos>>& objects) {
    const TByteSpan span = SpanAt(0);
    const std::string_view file = span.View(0, span.end);
    for (const auto& [num, offset] : objects) {
        const size_t end = std::min(file.size(), static_cast<size_t>(offset) + kTypeLookahead);
        if (file.substr(static_cast<size_t>(offset), end - static_cast<size_t>(offset)).find("/Catalog") ==
            std::string_view::npos)
            continue;
        DiscardEntries();
        SetPos(offset);
        ReadToken();
        ReadToken();
        ReadToken();
        ParseDict();
        parseFailed = 0;
        const bool catalog = EntryIs(dictEntries, "/Type", "/Catalog");
        DiscardEntries();
        if (!catalog) continue;
        rootObjNum = num;
        rootGen = 0;
        rootFound = 1;
        return;
    }
}

std::vector<std::pair<int32_t, int32_t>> TPdfFile::ObjectStreamIndex(const std::vector<uint8_t>& data,
                                                                          int64_t count) {
    std::vector<std::pair<int32_t, int32_t>> pairs;
    // Every pair takes at least four bytes ("1 0 ").
    count = std::clamp<int64_t>(count, 0, static_cast<int64_t>(data.size() / 4));
    TLexer lexer(data.data(), static_cast<int32_t>(std::min<size_t>(data.size(), INT32_MAX)));
    for (int64_t i = 0; i < count; ++i) {
        const auto num = ObjectNumber(lexer.Next());
        const auto offset = ObjectNumber(lexer.Next());
        if (!num || !offset) break;
        pairs.emplace_back(*num, *offset);
    }
    return pairs;
}

void TPdfFile::MaterializeObjectStreams() {
    std::unordered_map<int32_t, std::vector<int32_t>> byStream;
    for (int32_t num = 0; num < objCount; ++num) {
        const TObjEntry& entry = objTable[static_cast<size_t>(num)];
        if (entry.kind == TObjKind::InStream && entry.inUse) byStream[static_cast<int32_t>(entry.offset)].push_back(num);
    }
    if (byStream.empty()) return;

    std::string extension;
    const int64_t budget = std::max<int64_t>(kMinExtension, SourceSize() * kExtensionPerFileByte);
    // Behind the deciphered objects of an encrypted file, if there are any
    // (the object streams are read from there).
    const TFilePos base = SourceSize() + kSpanGap + static_cast<TFilePos>(extension_.size());
    std::vector<int32_t> streams;
    for (const auto& item : byStream) streams.push_back(item.first);
    std::sort(streams.begin(), streams.end());
    std::vector<uint8_t> data;
    for (int32_t stream : streams) {
        std::vector<int32_t>& members = byStream[stream];
        for (int32_t num : members) objTable[static_cast<size_t>(num)].inUse = 0;
        if (stream <= 0 || stream >= objCount) continue;
        TObjEntry& container = objTable[static_cast<size_t>(stream)];
        if (container.kind != TObjKind::AtOffset || !container.inUse) continue;
        if (!ReadObjectStream(container.offset, data) || !EntryIs(dictEntries, "/Type", "/ObjStm")) {
            DiscardEntries();
            continue;
        }
        MarkStructural(stream, container.offset);
        const auto first = EntryInt(dictEntries, "/First").value_or(-1);
        const auto pairs = ObjectStreamIndex(data, EntryInt(dictEntries, "/N").value_or(0));
        DiscardEntries();
        if (first < 0 || first > static_cast<int64_t>(data.size())) continue;
        const size_t body = static_cast<size_t>(first);
        for (size_t i = 0; i < pairs.size(); ++i) {
            const auto [num, offset] = pairs[i];
            if (num <= 0 || num >= objCount) continue;
            TObjEntry& entry = objTable[static_cast<size_t>(num)];
            if (entry.kind != TObjKind::InStream || entry.offset != stream) continue;
            const size_t from = std::min(data.size(), body + static_cast<size_t>(offset));
            size_t to = data.size();
            if (i + 1 < pairs.size())
                to = std::clamp(body + static_cast<size_t>(pairs[i + 1].second), from, data.size());
            const std::string head = std::to_string(num) + " 0 obj\n";
            if (static_cast<int64_t>(extension.size() + head.size() + (to - from) + 9) > budget) break;
            entry.kind = TObjKind::AtOffset;
            entry.inUse = 1;
            entry.generation = 0;
            entry.offset = base + static_cast<TFilePos>(extension.size());
            extension += head;
            extension.append(reinterpret_cast<const char*>(data.data()) + from, to - from);
            extension += "\nendobj\n";
        }
    }
    // Whatever no stream gave stays free.
    for (int32_t num = 0; num < objCount; ++num) {
        TObjEntry& entry = objTable[static_cast<size_t>(num)];
        if (entry.kind == TObjKind::InStream) {
            entry.kind = TObjKind::Free;
            entry.inUse = 0;
        }
    }
    if (extension_.empty()) extension_ = std::move(extension);
    else extension_ += extension;
    extensionBase_ = SourceSize() + kSpanGap;
}

bool TPdfFile::BuildObjectTable() {
    // Positions found while the table still changes are not kept.
    tableFinished_ = false;
    std::vector<uint32_t>().swap(valueDistance_);
    TFilePos sectionPos = 0;
    const bool chainUsable = LocateStartXref(sectionPos) && ReadXrefChain(sectionPos);
    parseFailed = 0;
    if (chainUsable) ValidateTable();
    if (!chainUsable || !badEntries.empty() || !rootFound) RebuildTable(chainUsable && rootFound);
    if (encrypted) OpenEncryption();
    // Object streams of an encrypted file that did not open hold only
    // ciphered bytes.
    if (!encrypted || cryptState_ == TCryptState::Opened) MaterializeObjectStreams();
    DiscardEntries();
    tableFinished_ = true;
    return rootFound;
}

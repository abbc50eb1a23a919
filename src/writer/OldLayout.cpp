// What the writer changes in the old file's document structure: the layout
// objects of linearization it leaves out, and the catalog it writes anew
// when the pages have a new tree.
#include <algorithm>
#include <optional>
#include <unordered_map>
#include <utility>

#include "WriterParts_p.h"

namespace {

// The in-use object that stands first in the file, or nothing.
std::optional<std::pair<TFilePos, int32_t>> FirstObject(const TPdfDocument& doc) {
    std::optional<std::pair<TFilePos, int32_t>> first;  // offset, number
    const int32_t count = std::min<int32_t>(doc.ObjCount(), static_cast<int32_t>(doc.Table().size()));
    for (int32_t num = 1; num < count; ++num) {
        const TObjEntry& entry = doc.Table()[static_cast<size_t>(num)];
        if (entry.kind != TObjKind::AtOffset || !entry.inUse || entry.offset >= doc.SourceSize()) continue;
        if (!first || entry.offset < first->first) first = std::make_pair(entry.offset, num);
    }
    return first;
}

// The numbers of the objects that stand at the given file offsets.
std::vector<int32_t> ObjectsAt(const TPdfDocument& doc, const std::vector<TFilePos>& offsets) {
    std::unordered_map<TFilePos, int32_t> byOffset;
    const int32_t count = std::min<int32_t>(doc.ObjCount(), static_cast<int32_t>(doc.Table().size()));
    for (int32_t num = 1; num < count; ++num) {
        const TObjEntry& entry = doc.Table()[static_cast<size_t>(num)];
        if (entry.kind == TObjKind::AtOffset && entry.inUse) byOffset.emplace(entry.offset, num);
    }
    std::vector<int32_t> nums;
    for (TFilePos offset : offsets)
        if (const auto found = byOffset.find(offset); found != byOffset.end() && HoldsObject(doc, offset, found->second))
            nums.push_back(found->second);
    return nums;
}

}  // namespace

std::vector<int32_t> LinearizationObjects(TPdfDocument& doc) {
    // Linearization puts its dictionary first in the file; nothing else
    // carries the key.
    const auto first = FirstObject(doc);
    if (!first || !HoldsObject(doc, first->first, first->second)) return {};
    doc.SetPos(first->first);
    doc.ReadToken();
    doc.ReadToken();
    if (doc.ReadToken() != "obj") return {};
    const TDictEntryList entries = EntriesAt(doc, doc.GetPos());
    bool linearized = false;
    std::vector<TFilePos> hintOffsets;
    for (const TDictEntry& entry : entries) {
        const auto& tokens = entry.tokens;
        if (tokens.empty()) continue;
        if (tokens[0] == "/Linearized") linearized = true;
        // /H [offset length] for the primary hint stream, and a second pair
        // for the overflow stream.
        if (tokens[0] == "/H" && tokens.size() >= 4 && tokens[1] == "[")
            for (size_t at = 2; at + 1 < tokens.size() && tokens[at] != "]"; at += 2)
                if (const auto offset = TryStrToPos(tokens[at])) hintOffsets.push_back(*offset);
    }
    if (!linearized) return {};
    std::vector<int32_t> nums = ObjectsAt(doc, hintOffsets);
    nums.push_back(first->second);
    return nums;
}

std::string CatalogObjectText(TPdfDocument& doc, const std::string& pagesRef, const std::string& extraEntries) {
    if (!doc.FetchObject(doc.rootObjNum)) return {};
    const TDictEntryList entries = EntriesAt(doc, doc.GetPos());
    std::string text = std::to_string(doc.rootObjNum) + " " + std::to_string(doc.rootGen) + " obj\r<<\r";
    for (const TDictEntry& entry : entries) {
        if (entry.tokens.empty() || (entry.tokens[0] == "/Pages" && !pagesRef.empty())) continue;
        text += JoinTokens(WrittenTokens(doc, entry)) + "\r";
    }
    if (!pagesRef.empty()) text += "/Pages " + pagesRef + "\r";
    if (!extraEntries.empty()) text += extraEntries + "\r";
    return text + ">>\rendobj\r";
}

bool CatalogHasEntry(TPdfDocument& doc, std::string_view key) {
    const TFilePos savedPos = doc.GetPos();
    bool found = false;
    if (doc.FetchObject(doc.rootObjNum))
        for (const TDictEntry& entry : EntriesAt(doc, doc.GetPos()))
            if (!entry.tokens.empty() && entry.tokens[0] == key) found = true;
    doc.SetPos(savedPos);
    return found;
}

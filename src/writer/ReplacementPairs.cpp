#include "ReplacementPairs.h"
#include "Lexer.h"

#include <algorithm>
#include <map>
#include <set>
#include <utility>
#include <vector>

namespace {

bool IsHeaderByte(uint8_t ch) { return (ch >= '0' && ch <= '9') || ch == 'o' || ch == 'b' || ch == 'j'; }

// Where the body of the object at `offset` starts: behind "N G obj" and its
// blanks; -1 when the bytes there are not that.
int64_t BodyPos(const TPdfDocument& doc, int64_t offset) {
    const TByteSpan data = doc.SpanAt(offset);
    int64_t pos = offset;
    for (int field = 0; field < 2; ++field) {
        const int64_t start = pos;
        while (data.Holds(pos) && data[pos] >= '0' && data[pos] <= '9') ++pos;
        if (pos == start) return -1;
        while (data.Holds(pos) && IsPdfWhiteSpace(data[pos])) ++pos;
    }
    if (data.View(pos, 3) != "obj") return -1;
    pos += 3;
    while (data.Holds(pos) && IsPdfWhiteSpace(data[pos])) ++pos;
    return pos;
}

// Object numbers of the font dictionaries at these body positions: for
// each, the lowest number whose "N G obj" leads there. Only the bytes just
// in front of each position are read, not every object of the file: a walk
// over all objects would fault the whole file in each time the pairs are
// asked for, and they are asked for several times in every save.
std::map<int64_t, int32_t> ObjectsAt(const TPdfDocument& doc, const std::set<int64_t>& bodyPositions) {
    std::map<int64_t, int32_t> found;
    if (bodyPositions.empty() || doc.Source().empty()) return found;
    std::vector<std::pair<int64_t, int32_t>> starts;  // offset, number
    const int32_t count = std::min<int32_t>(doc.ObjCount(), static_cast<int32_t>(doc.Table().size()));
    for (int32_t num = 1; num < count; ++num) {
        const TObjEntry& entry = doc.Table()[static_cast<size_t>(num)];
        if (entry.inUse && entry.generation == 0 && entry.offset > 0 && doc.SpanAt(entry.offset).Holds(entry.offset))
            starts.emplace_back(entry.offset, num);
    }
    std::sort(starts.begin(), starts.end());
    for (const int64_t body : bodyPositions) {
        // "N G obj" and the blanks behind it hold only these bytes: an
        // object whose body starts at `body` starts within their run.
        const TByteSpan data = doc.SpanAt(body);
        int64_t runStart = body;
        while (data.Holds(runStart - 1) && (IsPdfWhiteSpace(data[runStart - 1]) || IsHeaderByte(data[runStart - 1])))
            --runStart;
        auto at = std::lower_bound(starts.begin(), starts.end(), std::make_pair(runStart, int32_t{0}));
        for (; at != starts.end() && at->first <= body; ++at) {
            if (BodyPos(doc, at->first) != body) continue;
            const auto [slot, first] = found.emplace(body, at->second);
            if (!first) slot->second = std::min(slot->second, at->second);
        }
    }
    return found;
}

}  // namespace

namespace {

// For every record, the fontList index of the added font its replacement
// names, or -1 (no replacement, or one by another font of the page).
std::vector<int32_t> AddedFontIndexes(const TPdfDocument& doc) {
    std::map<std::string, int32_t> added;
    for (int32_t i = 0; i < doc.fontList.Count(); ++i) {
        const TFontRecord& font = doc.fontList[static_cast<size_t>(i)];
        if (font.hidden) added.emplace(font.resName, i);
    }
    std::vector<int32_t> indexes(static_cast<size_t>(doc.fontList.Count()), -1);
    if (added.empty()) return indexes;
    for (int32_t i = 0; i < doc.fontList.Count(); ++i) {
        const TFontRecord& font = doc.fontList[static_cast<size_t>(i)];
        if (font.hidden || font.replacementName.empty()) continue;
        if (const auto found = added.find(font.replacementName); found != added.end())
            indexes[static_cast<size_t>(i)] = found->second;
    }
    return indexes;
}

}  // namespace

namespace {

void TakeOverOldObjects(const TPdfDocument& doc, const std::vector<int32_t>& addedIndexes,
                        std::vector<TReplacementPair>& pairs) {
    // Old font dictionary -> the one pair that replaces all of its records,
    // or none (-1) when some record stays or another pair also uses it.
    std::map<int64_t, int64_t> owner;
    for (int32_t i = 0; i < doc.fontList.Count(); ++i) {
        const TFontRecord& font = doc.fontList[static_cast<size_t>(i)];
        if (!font.hidden && font.fontDictPos > 0) owner.emplace(font.fontDictPos, -2);
    }
    for (size_t k = 0; k < pairs.size(); ++k) {
        for (int32_t record : pairs[k].oldRecords) {
            const TFilePos pos = doc.fontList[static_cast<size_t>(record)].fontDictPos;
            if (pos <= 0) continue;
            int64_t& who = owner[pos];
            who = who == -2 || who == static_cast<int64_t>(k) ? static_cast<int64_t>(k) : -1;
        }
    }
    for (int32_t i = 0; i < doc.fontList.Count(); ++i) {
        const TFontRecord& font = doc.fontList[static_cast<size_t>(i)];
        if (font.hidden || font.fontDictPos <= 0) continue;
        if (addedIndexes[static_cast<size_t>(i)] < 0) owner[font.fontDictPos] = -1;
    }
    std::set<int64_t> positions;
    for (const auto& [pos, who] : owner)
        if (who >= 0) positions.insert(pos);
    const std::map<int64_t, int32_t> objects = ObjectsAt(doc, positions);
    for (const auto& [pos, num] : objects) {
        TReplacementPair& pair = pairs[static_cast<size_t>(owner[pos])];
        pair.takesOverObject = num;
        pair.resName.clear();
    }
}

}  // namespace

std::vector<TReplacementPair> ReplacementPairs(const TPdfDocument& doc) {
    std::vector<TReplacementPair> pairs;
    // (added font, old font dictionary) -> pair; a record whose dictionary
    // was not found stands for itself.
    std::map<std::pair<int32_t, int64_t>, size_t> byKey;
    std::map<int32_t, int32_t> pairsOfAdded;
    std::set<std::string> taken;
    for (const TFontRecord& font : doc.fontList) taken.insert(font.resName);
    const std::vector<int32_t> addedIndexes = AddedFontIndexes(doc);
    for (int32_t i = 0; i < doc.fontList.Count(); ++i) {
        const TFontRecord& font = doc.fontList[static_cast<size_t>(i)];
        const int32_t added = addedIndexes[static_cast<size_t>(i)];
        if (added < 0) continue;
        const int64_t oldKey = font.fontDictPos > 0 ? font.fontDictPos : -int64_t{1} - i;
        const auto key = std::make_pair(added, oldKey);
        auto found = byKey.find(key);
        if (found == byKey.end()) {
            TReplacementPair pair;
            pair.addedIndex = added;
            const int32_t number = ++pairsOfAdded[added];
            const std::string& base = doc.fontList[static_cast<size_t>(added)].resName;
            if (number == 1) {
                pair.resName = base;
            } else {
                pair.resName = base + "_" + std::to_string(number);
                while (taken.count(pair.resName)) pair.resName += "_";
                taken.insert(pair.resName);
            }
            found = byKey.emplace(key, pairs.size()).first;
            pairs.push_back(std::move(pair));
        }
        pairs[found->second].oldRecords.push_back(i);
    }
    TakeOverOldObjects(doc, addedIndexes, pairs);
    return pairs;
}

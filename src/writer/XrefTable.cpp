#include "XrefTable.h"

#include <algorithm>

std::string ZeroPadded(int64_t value, int32_t width) {
    std::string digits = std::to_string(value);
    if (static_cast<int32_t>(digits.size()) < width)
        digits.insert(0, static_cast<size_t>(width) - digits.size(), '0');
    return digits;
}

void CompleteXrefTable(TXrefList& entries) {
    std::vector<TXrefEntry> sorted(entries.begin(), entries.end());
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const TXrefEntry& a, const TXrefEntry& b) { return a.objNum < b.objNum; });

    // One pass over the sorted entries fills every gap at once; the table
    // then holds each number from 0 to the largest exactly once.
    std::vector<TXrefEntry> table;
    table.reserve(sorted.size());
    for (const TXrefEntry& entry : sorted) {
        if (entry.objNum < 0) continue;
        const int32_t next = table.empty() ? 0 : table.back().objNum + 1;
        if (!table.empty() && entry.objNum < next) continue;  // a duplicate number
        for (int32_t gap = next; gap < entry.objNum; ++gap) table.push_back({gap, 0, 65535, 0});
        table.push_back(entry);
    }

    int32_t nextFree = 0;
    for (auto entry = table.rbegin(); entry != table.rend(); ++entry) {
        if (entry->inUse) continue;
        entry->offset = nextFree;
        nextFree = entry->objNum;
    }

    entries.Clear();
    for (const TXrefEntry& entry : table) *entries.Append() = entry;
}

std::string XrefTableText(const TXrefList& table) {
    std::string out = "xref\r";
    out.reserve(out.size() + static_cast<size_t>(table.Count()) * 20 + 32);
    for (int32_t start = 0; start < table.Count();) {
        int32_t end = start + 1;
        auto numAt = [&table](int32_t i) { return table[static_cast<size_t>(i)].objNum; };
        while (end < table.Count() && numAt(end) == numAt(end - 1) + 1) ++end;
        out += std::to_string(table[static_cast<size_t>(start)].objNum) + " " + std::to_string(end - start) + "\r";
        for (int32_t i = start; i < end; ++i) {
            const TXrefEntry& entry = table[static_cast<size_t>(i)];
            out += ZeroPadded(entry.offset, 10) + " " + ZeroPadded(entry.generation, 5) + (entry.inUse ? " n" : " f") +
                   "\r\n";
        }
        start = end;
    }
    return out;
}

std::string TrailerText(int32_t size, const TTrailerRefs& refs, int64_t xrefPos) {
    std::string out = "trailer\r<<\r/Size " + std::to_string(size) + "\r";
    if (refs.hasInfo) out += "/Info " + std::to_string(refs.infoObjNum) + " " + std::to_string(refs.infoGen) + " R\r";
    if (refs.hasRoot) out += "/Root " + std::to_string(refs.rootObjNum) + " " + std::to_string(refs.rootGen) + " R\r";
    if (!refs.idEntry.empty()) out += refs.idEntry + "\r";
    if (!refs.encryptEntry.empty()) out += refs.encryptEntry + "\r";
    out += ">>\rstartxref\r" + std::to_string(xrefPos) + "\r%%EOF\r";
    return out;
}

#include "CompactObjects.h"

#include "ReachableObjects.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>

namespace {

bool IsWhite(char c) {
    return c == ' ' || c == '\r' || c == '\n' || c == '\t' || c == '\f' || c == '\0';
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsWhite(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsWhite(text.back())) text.remove_suffix(1);
    return text;
}

bool SkipDigits(std::string_view text, size_t& at) {
    const size_t start = at;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at;
    return at > start;
}

bool SkipBlanks(std::string_view text, size_t& at) {
    const size_t start = at;
    while (at < text.size() && IsWhite(text[at])) ++at;
    return at > start;
}

}  // namespace

std::optional<std::string_view> ObjectBody(std::string_view text) {
    size_t at = 0;
    SkipBlanks(text, at);
    if (!SkipDigits(text, at) || !SkipBlanks(text, at) || !SkipDigits(text, at)) return std::nullopt;
    SkipBlanks(text, at);
    if (text.substr(at, 3) != "obj") return std::nullopt;
    text.remove_prefix(at + 3);
    text = Trimmed(text);
    constexpr std::string_view kEnd = "endobj";
    if (text.size() < kEnd.size() || text.substr(text.size() - kEnd.size()) != kEnd) return std::nullopt;
    text.remove_suffix(kEnd.size());
    return Trimmed(text);
}

void TCompactObjects::Put(int32_t objNum, int32_t gen, std::string_view text) {
    const std::optional<std::string_view> body = ObjectBody(text);
    // Streams stay outside (an object stream cannot hold one), and so does
    // any object whose generation an object stream cannot express.
    constexpr std::string_view kStreamEnd = "endstream";
    std::vector<int32_t> refs;
    const bool isStream = body && ((body->size() >= kStreamEnd.size() &&
                                    body->substr(body->size() - kStreamEnd.size()) == kStreamEnd) ||
                                   ReferencesIn(*body, refs));
    if (!body || body->empty() || isStream || gen != 0) {
        rows_.push_back({objNum, TXrefStreamRow::TKind::AtOffset, out_.Position(), gen});
        out_.Write(text.data(), text.size());
        return;
    }
    if (builder_.Empty()) streamNum_ = allocate_();
    const int32_t index = builder_.Add(objNum, *body);
    rows_.push_back({objNum, TXrefStreamRow::TKind::InObjectStream, streamNum_, index});
    if (builder_.Count() >= kObjectsPerStream || builder_.BodyBytes() >= kBytesPerStream) FlushStream();
}

void TCompactObjects::FlushStream() {
    if (builder_.Empty()) return;
    rows_.push_back({streamNum_, TXrefStreamRow::TKind::AtOffset, out_.Position(), 0});
    out_.Write(builder_.TakeObject(streamNum_));
}

void TCompactObjects::Finish(const TXrefStreamTrailer& trailer) {
    FlushStream();
    const int32_t xrefNum = allocate_();
    // Every number below the largest gets a row: the free ones between the
    // objects cost a byte or two packed, a break in /Index costs more.
    std::stable_sort(rows_.begin(), rows_.end(), [](const auto& a, const auto& b) { return a.objNum < b.objNum; });
    std::vector<TXrefStreamRow> rows;
    rows.reserve(static_cast<size_t>(xrefNum) + 1);
    rows.push_back({0, TXrefStreamRow::TKind::Free, 0, 0});
    int64_t next = 1;
    for (const TXrefStreamRow& row : rows_) {
        if (row.objNum < next) continue;  // a number given twice keeps its first object
        for (; next < row.objNum; ++next) rows.push_back({next, TXrefStreamRow::TKind::Free, 0, 0});
        rows.push_back(row);
        next = row.objNum + 1;
    }
    for (; next < xrefNum; ++next) rows.push_back({next, TXrefStreamRow::TKind::Free, 0, 0});
    rows_ = {};
    const int64_t xrefPos = out_.Position();
    out_.Write(XrefStreamObject(xrefNum, xrefPos, std::move(rows), trailer));
    out_.Write("startxref\n" + std::to_string(xrefPos) + "\n%%EOF\n");
}

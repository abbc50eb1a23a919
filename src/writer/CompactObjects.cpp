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
    const bool isStream = body && ((body->size() >= kStreamEnd.size() &&
                                    body->substr(body->size() - kStreamEnd.size()) == kStreamEnd) ||
                                   IsStreamText(*body));
    if (!body || body->empty() || isStream || gen != 0) {
        rows_.push_back({objNum, TXrefStreamRow::TKind::AtOffset, out_.Position(), gen});
        out_.Write(text.data(), text.size());
        // The next object's number must not run into this "endobj".
        if (text.empty() || !IsWhite(text.back())) out_.Write("\n", 1);
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
    // Every number below the table's own gets a row: the free ones between
    // the objects cost a byte or two packed, a break in /Index costs more.
    // The rows are spread out in place, as a file of millions of objects
    // should not need their memory twice.
    auto byNumber = [](const auto& a, const auto& b) { return a.objNum < b.objNum; };
    std::stable_sort(rows_.begin(), rows_.end(), byNumber);
    // A number given twice keeps its first object.
    rows_.erase(std::unique(rows_.begin(), rows_.end(), [](const auto& a, const auto& b) { return a.objNum == b.objNum; }),
                rows_.end());
    std::erase_if(rows_, [xrefNum](const TXrefStreamRow& row) { return row.objNum < 1 || row.objNum >= xrefNum; });
    const size_t listed = rows_.size();
    rows_.reserve(static_cast<size_t>(xrefNum) + 1);  // the table's own row joins them
    rows_.resize(static_cast<size_t>(xrefNum));
    auto freeRow = [](size_t num) { return TXrefStreamRow{static_cast<int32_t>(num), TXrefStreamRow::TKind::Free, 0, 0}; };
    size_t filledFrom = rows_.size();  // rows at and above are in place
    for (size_t i = listed; i-- > 0;) {
        const TXrefStreamRow row = rows_[i];
        const size_t target = static_cast<size_t>(row.objNum);
        for (size_t k = target + 1; k < filledFrom; ++k) rows_[k] = freeRow(k);
        rows_[target] = row;
        filledFrom = target;
    }
    for (size_t k = 0; k < filledFrom; ++k) rows_[k] = freeRow(k);
    const int64_t xrefPos = out_.Position();
    out_.Write(XrefStreamObject(xrefNum, xrefPos, std::move(rows_), trailer));
    rows_ = {};
    out_.Write("startxref\n" + std::to_string(xrefPos) + "\n%%EOF\n");
}

#include "ContentRewrite.h"

#include <algorithm>

#include "ReplacementPairs.h"

namespace {

bool IsSeparator(char ch) { return ch == ' ' || ch == '\n' || ch == '\r'; }

void AppendEscapedByte(std::string& out, uint8_t byte) {
    if (byte == '#') {
        out += "##";
    } else if (byte == 10 || byte == 13 || byte >= 32) {
        out += static_cast<char>(byte);
    } else {
        out += '#';
        out += static_cast<char>('0' + ((byte >> 6) & 7));
        out += static_cast<char>('0' + ((byte >> 3) & 7));
        out += static_cast<char>('0' + (byte & 7));
    }
}

}  // namespace

std::string EscapeContentBytes(const uint8_t* data, size_t size) {
    std::string out;
    out.reserve(size + size / 16);
    for (size_t i = 0; i < size; ++i) AppendEscapedByte(out, data[i]);
    return out;
}

std::string EscapeContentText(const std::string& text) {
    return EscapeContentBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

TSplitContent SplitContentText(const std::string& text) {
    TSplitContent split;
    std::string word;
    bool inSeparator = false;
    for (char ch : text) {
        if (IsSeparator(ch)) {
            if (inSeparator) {
                split.separators.back() += ch;
            } else {
                // A text that begins with a separator gets an empty first
                // word, so the join puts the separator back in front.
                split.words.push_back(std::move(word));
                word.clear();
                split.separators.emplace_back(1, ch);
                inSeparator = true;
            }
        } else {
            word += ch;
            inSeparator = false;
        }
    }
    split.words.push_back(std::move(word));
    split.separators.emplace_back();
    return split;
}

int32_t ExchangeFontOperands(std::vector<std::string>& words, const TFontReplacements& replacements) {
    int32_t exchanged = 0;
    if (replacements.empty()) return 0;
    for (size_t k = 2; k < words.size(); ++k) {
        if (words[k] != "Tf") continue;
        const auto found = replacements.find(words[k - 2]);
        if (found == replacements.end()) continue;
        words[k - 2] = found->second;
        ++exchanged;
    }
    return exchanged;
}

std::string JoinContentText(const TSplitContent& split) {
    size_t size = 0;
    for (size_t k = 0; k < split.words.size(); ++k) size += split.words[k].size() + split.separators[k].size();
    std::string out;
    out.reserve(size);
    for (size_t k = 0; k < split.words.size(); ++k) {
        out += split.words[k];
        out += split.separators[k];
    }
    return out;
}

void UnescapeContentText(const std::string& text, std::vector<uint8_t>& out) {
    int32_t pending = 0;
    int32_t digits = 0;
    uint8_t value = 0;
    for (char c : text) {
        const auto ch = static_cast<uint8_t>(c);
        if (ch == '#') {
            ++pending;
            digits = 0;
            value = 0;
            if (pending == 2) {
                out.push_back('#');
                pending = 0;
            }
        } else if (pending == 1) {
            if (ch >= '0' && ch <= '9') value = static_cast<uint8_t>(value * 8 + (ch - '0'));
            if (++digits == 3) {
                out.push_back(value);
                pending = 0;
            }
        } else {
            out.push_back(ch);
        }
    }
}

namespace {

struct TWordSpan {
    size_t begin = 0;
    size_t end = 0;
};

// The replacement of a word that precedes "Tf" by two, looked up as the
// escaped text that the word-wise steps would look up.
const std::string* ReplacementOf(const uint8_t* data, TWordSpan word, const TFontReplacements& replacements) {
    const std::string raw(reinterpret_cast<const char*>(data + word.begin), word.end - word.begin);
    const bool plain = std::all_of(raw.begin(), raw.end(), [](char c) { return c != '#' && (c >= 32 || c < 0); });
    const auto found = replacements.find(plain ? raw : EscapeContentText(raw));
    return found == replacements.end() ? nullptr : &found->second;
}

}  // namespace

// One pass over the bytes with the word-wise steps' rules: escaping never
// makes or removes a separator, so the words of the escaped text are the
// words of the bytes, and a text without exchanges unescapes to the bytes
// it came from. Only an exchanged word is escaped and unescaped.
std::vector<uint8_t> RewriteContent(const uint8_t* data, size_t size, const TFontReplacements& replacements) {
    std::vector<uint8_t> out;
    out.reserve(size);
    size_t copied = 0;
    // The two words before the current one; the text's first word is empty
    // when it begins with a separator, and counts like any other.
    TWordSpan before2, before1;
    size_t wordsSeen = 0;
    size_t pos = 0;
    while (true) {
        const size_t begin = pos;
        while (pos < size && !IsSeparator(static_cast<char>(data[pos]))) ++pos;
        const TWordSpan word{begin, pos};
        const bool isTf = pos - begin == 2 && data[begin] == 'T' && data[begin + 1] == 'f';
        if (isTf && wordsSeen >= 2 && !replacements.empty()) {
            if (const std::string* replacement = ReplacementOf(data, before2, replacements)) {
                out.insert(out.end(), data + copied, data + before2.begin);
                UnescapeContentText(*replacement, out);
                copied = before2.end;
            }
        }
        before2 = before1;
        before1 = word;
        ++wordsSeen;
        while (pos < size && IsSeparator(static_cast<char>(data[pos]))) ++pos;
        if (pos >= size) break;
    }
    out.insert(out.end(), data + copied, data + size);
    return out;
}

std::unordered_map<int32_t, std::string> ReplacementNames(const TPdfDocument& doc) {
    // A font replaced by an added font selects the dictionary written for
    // that pair, which keeps the old font's encoding and widths.
    std::unordered_map<int32_t, const std::string*> pairNames;
    const std::vector<TReplacementPair> pairs = ReplacementPairs(doc);
    for (const TReplacementPair& pair : pairs)
        for (int32_t record : pair.oldRecords) pairNames[record] = &pair.resName;
    std::unordered_map<int32_t, std::string> names;
    for (int32_t i = 0; i < doc.fontList.Count(); ++i) {
        const TFontRecord& font = doc.fontList[static_cast<size_t>(i)];
        if (font.replacementName.empty()) continue;
        const auto pairName = pairNames.find(i);
        // A pair written in place of the old font object keeps the old name.
        const std::string& name = pairName == pairNames.end() ? font.replacementName
                                  : pairName->second->empty() ? font.resName
                                                              : *pairName->second;
        // The name goes into the escaped text; escaping it keeps a "#" in
        // the chosen name from being read as an escape afterwards.
        names.emplace(i, EscapeContentText(name));
    }
    return names;
}

std::vector<TFontReplacements> ReplacementsByPage(const TPdfDocument& doc) {
    const int32_t pageCount = doc.pageList.Count();
    const std::unordered_map<int32_t, std::string> names = ReplacementNames(doc);
    std::vector<TFontReplacements> byPage(static_cast<size_t>(pageCount));
    // Added fonts belong to every page; a record's place in the font list
    // decides which of two records for the same name counts, so the added
    // fonts are merged in by position instead of simply following the
    // page's own records.
    std::vector<std::vector<int32_t>> recordsOfPage(static_cast<size_t>(pageCount));
    std::vector<int32_t> hiddenRecords;
    for (int32_t i = 0; i < doc.fontList.Count(); ++i) {
        const TFontRecord& font = doc.fontList[static_cast<size_t>(i)];
        if (font.replacementName.empty()) continue;
        if (font.hidden) hiddenRecords.push_back(i);
        // Fonts of forms and appearances are selected in their own content.
        else if (font.scopePos >= 0) continue;
        else if (font.pageIndex >= 0 && font.pageIndex < pageCount)
            recordsOfPage[static_cast<size_t>(font.pageIndex)].push_back(i);
    }
    for (int32_t page = 0; page < pageCount; ++page) {
        const auto& own = recordsOfPage[static_cast<size_t>(page)];
        TFontReplacements& map = byPage[static_cast<size_t>(page)];
        size_t a = 0, b = 0;
        while (a < own.size() || b < hiddenRecords.size()) {
            const bool takeOwn = b >= hiddenRecords.size() || (a < own.size() && own[a] < hiddenRecords[b]);
            const int32_t index = takeOwn ? own[a++] : hiddenRecords[b++];
            map.emplace(doc.fontList[static_cast<size_t>(index)].resName, names.at(index));
        }
    }
    return byPage;
}

void TellUndecodablePages(TPdfDocument& doc) {
    // A page without any content stream has nothing that could have failed
    // to decode. Said once: a file with thousands of such pages would
    // otherwise need as many clicks.
    for (const TPageRecord& page : doc.pageList)
        if (!page.hasContent && !page.contentRefs.IsEmpty()) {
            doc.Ui().Notice(TNotice(TNoticeKind::ContentNotDecodable));
            return;
        }
}

bool PageContentIsRewritten(const TPageRecord& page) {
    return page.hasContent && !page.contentDamaged;
}

std::vector<uint8_t> RewrittenPageContent(TPdfDocument& doc, int32_t pageIndex, const TFontReplacements& replacements,
                                          const TDecodedContentSink& decoded) {
    std::vector<uint8_t> content = doc.PageContent(pageIndex);
    if (decoded) decoded(content);
    if (replacements.empty()) return content;
    return RewriteContent(content.data(), content.size(), replacements);
}

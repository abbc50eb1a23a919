#include "UsedCodes.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "Lexer.h"
#include "PdfText.h"

namespace {

bool IsDelimiter(uint8_t ch) {
    return ch == '(' || ch == ')' || ch == '<' || ch == '>' || ch == '[' || ch == ']' || ch == '{' || ch == '}' ||
           ch == '/' || ch == '%';
}

// Walks the content once; operands are kept only as far as the text
// operators need them: the last name, and the codes of the strings since
// the last operator. Saving with an embedded font runs it over every page,
// so it builds no string per operand.
class TCodeScanner {
public:
    TCodeScanner(const uint8_t* data, size_t size, const std::set<std::string>* keepStrings)
        : data_(data), size_(size), keepStrings_(keepStrings) {}

    TContentScan Run() {
        while (pos_ < size_) {
            const uint8_t ch = data_[pos_];
            if (IsPdfWhiteSpace(ch)) {
                ++pos_;
                continue;
            }
            if (ch == '%') {
                while (pos_ < size_ && data_[pos_] != 10 && data_[pos_] != 13) ++pos_;
                continue;
            }
            if (ch == '(') {
                LiteralString();
            } else if (ch == '<' && pos_ + 1 < size_ && data_[pos_ + 1] == '<') {
                pos_ += 2;
            } else if (ch == '<') {
                HexString();
            } else if (ch == '/') {
                ++pos_;
                const std::string_view name = Word();
                lastName_.assign(1, '/').append(name);
                nameIsLast_ = true;
                continue;
            } else if (ch == '[' || ch == ']' || ch == '>' || ch == '{' || ch == '}' || ch == ')') {
                ++pos_;
            } else {
                Operator(Word());
            }
            nameIsLast_ = false;
        }
        result_.codes = std::move(codes_);
        return std::move(result_);
    }

private:
    std::string_view Word() {
        const size_t start = pos_;
        while (pos_ < size_ && !IsPdfWhiteSpace(data_[pos_]) && !IsDelimiter(data_[pos_])) ++pos_;
        if (pos_ == start) ++pos_;  // a stray byte: step over it
        return {reinterpret_cast<const char*>(data_ + start), pos_ - start};
    }

    void Operator(std::string_view word) {
        const bool isNumber = !word.empty() && (word[0] == '-' || word[0] == '+' || word[0] == '.' ||
                                                (word[0] >= '0' && word[0] <= '9'));
        if (isNumber) return;
        if (word == "Tf") {
            font_ = lastName_;
            fontCodes_ = nullptr;
            keep_ = keepStrings_ && keepStrings_->count(font_) != 0;
        } else if (word == "Tj" || word == "TJ" || word == "'" || word == "\"") {
            if (!fontCodes_) fontCodes_ = &codes_[font_];
            *fontCodes_ |= pending_;
            if (keep_) {
                for (std::string& shown : pendingStrings_) result_.strings[font_].push_back(std::move(shown));
            }
        } else if (word == "Do" && nameIsLast_) {
            Remember(result_.xobjects, {lastName_, font_});
        } else if ((word == "scn" || word == "SCN") && nameIsLast_) {
            Remember(result_.patterns, lastName_);
        } else if (word == "ID") {
            SkipInlineImage();
        }
        pending_.reset();
        pendingStrings_.clear();
    }

    // A page draws its one form or pattern again and again: listed once.
    template <typename T>
    static void Remember(std::vector<T>& list, T value) {
        if (std::find(list.begin(), list.end(), value) == list.end()) list.push_back(std::move(value));
    }

    // Notes a byte of the string being read.
    void Byte(uint8_t value) {
        pending_.set(value);
        if (keep_) pendingStrings_.back().push_back(static_cast<char>(value));
    }

    void LiteralString() {
        int32_t depth = 0;
        ++pos_;
        if (keep_) pendingStrings_.emplace_back();
        while (pos_ < size_) {
            const uint8_t ch = data_[pos_++];
            if (ch == '(') {
                ++depth;
            } else if (ch == ')') {
                if (depth-- == 0) break;
            } else if (ch == '\\') {
                if (pos_ >= size_) break;
                const uint8_t next = data_[pos_++];
                switch (next) {
                    case 'n': Byte('\n'); continue;
                    case 'r': Byte('\r'); continue;
                    case 't': Byte('\t'); continue;
                    case 'b': Byte('\b'); continue;
                    case 'f': Byte('\f'); continue;
                    case 10: continue;
                    case 13:
                        if (pos_ < size_ && data_[pos_] == 10) ++pos_;
                        continue;
                    default: break;
                }
                if (next >= '0' && next <= '7') {
                    int32_t value = next - '0';
                    for (int k = 0; k < 2 && pos_ < size_ && data_[pos_] >= '0' && data_[pos_] <= '7'; ++k)
                        value = value * 8 + (data_[pos_++] - '0');
                    Byte(static_cast<uint8_t>(value & 0xFF));
                } else {
                    Byte(next);
                }
                continue;
            }
            Byte(ch);
        }
    }

    void HexString() {
        const size_t start = ++pos_;
        while (pos_ < size_ && data_[pos_] != '>') ++pos_;
        const std::string_view digits(reinterpret_cast<const char*>(data_) + start, pos_ - start);
        if (keep_) pendingStrings_.emplace_back();
        for (const char byte : HexBytes(digits)) Byte(static_cast<uint8_t>(byte));
        ++pos_;
    }

    // The data after "ID" end at "EI" standing alone between white space.
    void SkipInlineImage() {
        if (pos_ < size_) ++pos_;
        while (pos_ + 1 < size_) {
            if (data_[pos_] == 'E' && data_[pos_ + 1] == 'I' && IsPdfWhiteSpace(data_[pos_ - 1]) &&
                (pos_ + 2 >= size_ || IsPdfWhiteSpace(data_[pos_ + 2]))) {
                pos_ += 2;
                return;
            }
            ++pos_;
        }
        pos_ = size_;
    }

    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    std::string lastName_;
    std::string font_;
    bool nameIsLast_ = false;  // the last operand was the name in lastName_
    TCodeSet* fontCodes_ = nullptr;  // codes_'s entry for font_, once a string is shown with it
    TCodeSet pending_;
    const std::set<std::string>* keepStrings_;
    bool keep_ = false;  // the selected font's strings are kept whole
    std::vector<std::string> pendingStrings_;
    TCodesByFont codes_;
    TContentScan result_;
};

}  // namespace

TContentScan ScanContent(const uint8_t* data, size_t size, const std::set<std::string>* keepStrings) {
    return TCodeScanner(data, size, keepStrings).Run();
}

TCodesByFont CodesByFont(const uint8_t* data, size_t size) { return ScanContent(data, size).codes; }

#include "ReachableObjects.h"

#include <algorithm>
#include <cctype>
#include <climits>

namespace {

bool IsWhite(char c) {
    return c == ' ' || c == '\r' || c == '\n' || c == '\t' || c == '\f' || c == '\0';
}

bool IsDelimiter(char c) {
    return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' || c == '}' ||
           c == '/' || c == '%';
}

std::optional<int64_t> WholeNumber(std::string_view token) {
    if (token.empty() || token.size() > 10) return std::nullopt;
    int64_t value = 0;
    for (const char c : token) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

// Remembers the last two tokens to recognise "N G R".
class TRefMatcher {
public:
    explicit TRefMatcher(std::vector<int32_t>& out) : out_(out) {}
    void Token(std::string_view token) {
        if (token == "R" && first_ && second_ && *first_ > 0 && *first_ <= INT32_MAX)
            out_.push_back(static_cast<int32_t>(*first_));
        first_ = second_;
        second_ = WholeNumber(token);
    }
    // Anything that is no number breaks a pending "N G".
    void Other() { first_ = second_ = std::nullopt; }

private:
    std::vector<int32_t>& out_;
    std::optional<int64_t> first_, second_;
};

// Steps over a literal string starting at its "(": nested brackets count,
// an escaped one does not.
size_t SkipLiteralString(std::string_view bytes, size_t at) {
    int32_t depth = 0;
    for (; at < bytes.size(); ++at) {
        const char c = bytes[at];
        if (c == '\\') ++at;
        else if (c == '(') ++depth;
        else if (c == ')' && --depth == 0) return at + 1;
    }
    return at;
}

}  // namespace

bool ReferencesIn(std::string_view bytes, std::vector<int32_t>& out) {
    TRefMatcher matcher(out);
    size_t at = 0;
    // The object's own "N G obj" would read as a reference to a number
    // followed by "obj": harmless, as "obj" is no "R".
    while (at < bytes.size()) {
        const char c = bytes[at];
        if (IsWhite(c)) {
            ++at;
        } else if (c == '%') {
            while (at < bytes.size() && bytes[at] != '\r' && bytes[at] != '\n') ++at;
        } else if (c == '(') {
            at = SkipLiteralString(bytes, at);
            matcher.Other();
        } else if (c == '<' && at + 1 < bytes.size() && bytes[at + 1] != '<') {
            while (at < bytes.size() && bytes[at] != '>') ++at;
            ++at;
            matcher.Other();
        } else if (IsDelimiter(c) && c != '/') {
            at += (c == '<' || c == '>') && at + 1 < bytes.size() && bytes[at + 1] == c ? 2 : 1;
            matcher.Other();
        } else {
            const size_t start = at++;
            while (at < bytes.size() && !IsWhite(bytes[at]) && !IsDelimiter(bytes[at])) ++at;
            const std::string_view token = bytes.substr(start, at - start);
            if (token == "endobj") return false;
            if (token == "stream") return true;
            if (c == '/') matcher.Other();
            else matcher.Token(token);
        }
    }
    return false;
}

bool IsStreamText(std::string_view bytes) {
    // Most objects do not hold the word at all; only those that do are read.
    const std::string_view head = bytes.substr(0, bytes.find("endobj"));
    if (head.find("stream") == std::string_view::npos) return false;
    std::vector<int32_t> ignored;
    return ReferencesIn(head, ignored);
}

void ReferencesIn(const std::vector<std::string>& tokens, std::vector<int32_t>& out) {
    TRefMatcher matcher(out);
    for (const std::string& token : tokens) matcher.Token(token);
}

std::vector<int32_t> ObjectOwners(int32_t count, const TReachRoots& roots,
                                  const std::function<std::string_view(int32_t)>& oldText) {
    std::vector<int32_t> owners(static_cast<size_t>(count > 0 ? count : 0), kUnreached);
    std::vector<int32_t> pending;
    auto walk = [&](int32_t owner) {
        while (!pending.empty()) {
            const int32_t num = pending.back();
            pending.pop_back();
            if (num < 1 || num >= count || owners[static_cast<size_t>(num)] != kUnreached) continue;
            owners[static_cast<size_t>(num)] = owner;
            if (static_cast<size_t>(num) < roots.notRead.size() && roots.notRead[static_cast<size_t>(num)]) continue;
            // Pushed in reverse, so that the first reference is followed first.
            const size_t before = pending.size();
            ReferencesIn(oldText(num), pending);
            std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(before), pending.end());
        }
    };
    for (size_t page = 0; page < roots.pages.size(); ++page) {
        pending.assign(roots.pages[page].rbegin(), roots.pages[page].rend());
        walk(static_cast<int32_t>(page));
    }
    pending.assign(roots.document.rbegin(), roots.document.rend());
    walk(kDocumentLevel);
    return owners;
}

// What the page tree (Pages.cpp) and the page dictionaries (PageDicts.cpp)
// both read with: tokens, boxes and references.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "PdfDocument.h"

// Upper bound on the references read from an array object ("[ ... ]") that
// is reached through a reference. A missing "]" would otherwise run through
// the rest of the file (or its filler bytes past the end without end); no
// real page has this many content streams, annotations or kids.
constexpr int32_t kMaxArrayRefs = 200000;

// Token i of a value, or "" past its end (which then fails to convert).
const std::string& TokenAt(const std::vector<std::string>& tokens, size_t i);
// [llx lly urx ury] from tokens 3 to 6 of an entry. A short array or a
// non-number is noted with the file, which ends the open as invalid.
std::array<double, 4> BoxFromTokens(TPdfFile& file, const std::vector<std::string>& tokens);
bool IsDirectValue(const std::vector<std::string>& tokens);
// A box entry with its references resolved (see Pages.cpp). The cursor is kept.
std::optional<std::vector<std::string>> ResolvedBox(TPdfDocument& doc, const std::vector<std::string>& tokens);
std::optional<TPageRef> RefFromTokens(const std::string& num, const std::string& gen);
// Reads "a b R c d R ... ]" behind an opening "[" at the cursor.
std::vector<TPageRef> ReadRefArray(TPdfDocument& doc);

// Appends one reference per group of three tokens (number, generation and an
// unchecked third token) of an inline array "[ a b R c d R ]" whose first
// reference starts at token 3; the count follows the token count the way
// "/Key [ ... ]" spreads over an entry.
template <typename Add>
void ForEachInlineRef(const std::vector<std::string>& tokens, Add add) {
    const size_t groups = (tokens.size() - 4) / 3 + 1;
    for (size_t g = 0; g < groups; ++g) {
        const size_t at = 2 + 3 * g;
        if (at + 1 >= tokens.size()) break;
        if (auto ref = RefFromTokens(tokens[at], tokens[at + 1])) add(*ref);
    }
}


// Rewriting the font selections of a page's decoded content.
//
// The content is turned into a text in which every byte that could disturb
// a blank-separated split is escaped ("#" doubled, control bytes other than
// line feed and carriage return as "#" and three octal digits), split into
// words and the blank runs between them, the operand two words before each
// "Tf" is exchanged, and the text is joined and unescaped again. Without an
// exchange the bytes come back exactly as they were.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "PdfDocument.h"

// resName of an old font -> the escaped text that replaces it in a content.
using TFontReplacements = std::unordered_map<std::string, std::string>;

struct TSplitContent {
    std::vector<std::string> words;
    // separators[k] is the run of blanks, line feeds and carriage returns
    // that follows words[k]; the last one is empty. Same length as words.
    std::vector<std::string> separators;
};

std::string EscapeContentBytes(const uint8_t* data, size_t size);
std::string EscapeContentText(const std::string& text);
TSplitContent SplitContentText(const std::string& text);
// Exchanges the word two places before every "Tf" (third word or later)
// that names a font in `replacements`. Each selection is looked up once, so
// /F1 -> /F2 together with /F2 -> /F1 swaps the two instead of turning both
// into /F1. Returns the number of exchanged selections.
int32_t ExchangeFontOperands(std::vector<std::string>& words, const TFontReplacements& replacements);
std::string JoinContentText(const TSplitContent& split);
// Appends the bytes of an escaped text to `out`. A malformed escape (which
// EscapeContentBytes never produces) is decoded by the same digit rules
// without complaint.
void UnescapeContentText(const std::string& text, std::vector<uint8_t>& out);

// The whole round trip for one content, in one pass over the bytes: what
// the steps above give, without making the escaped text and its words.
std::vector<uint8_t> RewriteContent(const uint8_t* data, size_t size, const TFontReplacements& replacements);

// For every font record with a replacement, the escaped name that its
// selections take in a rewritten content.
std::unordered_map<int32_t, std::string> ReplacementNames(const TPdfDocument& doc);

// For every page, the replacements that apply to its content: the page's own
// font records and the added fonts, in font-list order; the first record of
// a resource name that has a replacement decides.
std::vector<TFontReplacements> ReplacementsByPage(const TPdfDocument& doc);

// The page's content as saving writes it: decoded from the file, every
// selection of a replaced font exchanged (the decoded bytes themselves when
// nothing on the page is replaced). Pages are rewritten one at a time
// while the file is written, so that no more than one page's content is
// held at once. `decoded`, when given, sees the content as the file has it,
// before the exchange.
using TDecodedContentSink = std::function<void(const std::vector<uint8_t>&)>;
std::vector<uint8_t> RewrittenPageContent(TPdfDocument& doc, int32_t pageIndex, const TFontReplacements& replacements,
                                          const TDecodedContentSink& decoded = {});

// Whether the writer gives the page a content stream written anew (when
// contents are rewritten at all, see TWriteOptions): a page whose content
// could not be read to its end keeps its old streams, damage and all, as
// what was read would lose the rest, which other readers may still show. A
// font replaced on it stays there unless its object is replaced in place.
bool PageContentIsRewritten(const TPageRecord& page);
// The message box for pages whose content could not be decoded (and so is
// written as the file has it), once.
void TellUndecodablePages(TPdfDocument& doc);

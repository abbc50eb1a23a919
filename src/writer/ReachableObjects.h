// Which objects of the old file the new file still needs: those its
// trailer, catalog and pages reach through references. Each is given to the
// first page that reaches it, so that the writer can put a page's objects
// together; what only the catalog's other branches reach (outlines, names,
// the interactive form, the structure tree) belongs to the document.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "PdfRecords.h"

// The object numbers that `bytes` refers to ("N G R"), read from the start
// of an object's text up to its "endobj", or up to "stream" (the data of a
// stream refer to nothing). Strings, comments and names are stepped over.
// True when the text stops at "stream": the object is a stream.
bool ReferencesIn(std::string_view bytes, std::vector<int32_t>& out);

// Whether the object whose text starts `bytes` is a stream: "stream" stands
// behind its dictionary, outside strings and comments.
bool IsStreamText(std::string_view bytes);

// The references among a dictionary entry's tokens.
void ReferencesIn(const std::vector<std::string>& tokens, std::vector<int32_t>& out);

constexpr int32_t kUnreached = -2;
constexpr int32_t kDocumentLevel = -1;

struct TReachRoots {
    // Per page: what the page object written anew refers to.
    std::vector<std::vector<int32_t>> pages;
    // What the trailer and everything written anew apart from the pages
    // refer to, the catalog first.
    std::vector<int32_t> document;
    // Numbers written anew whose old text says nothing about the new file
    // (the page-tree root, the pages): reached, but not read.
    std::vector<uint8_t> notRead;
};

// Per object number below `count`: the index of the first page that
// reaches it, kDocumentLevel, or kUnreached. `oldText` gives the bytes from
// the start of an old object (empty when the file has none for it).
std::vector<int32_t> ObjectOwners(int32_t count, const TReachRoots& roots,
                                  const std::function<std::string_view(int32_t)>& oldText);

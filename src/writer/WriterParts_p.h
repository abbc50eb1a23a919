// Pieces of the file writer, shared by PdfWriter.cpp and the tests.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "OutputFile.h"
#include "PdfDocument.h"

// Old-file position -> the text written in front of the byte there while
// old objects are copied: the added fonts spliced into the font
// dictionaries the writer copies, a /Font and an /XObject dictionary where
// copied resources lack one. Each text goes right behind a dictionary's
// "<<", so an empty dictionary takes it as well as a full one. Pages that
// share a dictionary would each ask for the same text at the same place; it
// is inserted once.
// The empty /Font and /XObject dictionaries are added only when `addEmpty`
// (the classic form has always written them).
using TInsertionMap = std::map<TFilePos, std::string>;
TInsertionMap BuildInsertions(const TPdfDocument& doc, const std::string& fontRefList, bool addEmpty = true);

// Whether the old file holds "N G obj" for object number `objNum` at
// `offset` (white space in front tolerated): the only bytes the writer may
// copy as that object.
bool HoldsObject(const TPdfDocument& doc, TFilePos offset, int32_t objNum);

// One past the last byte of the old object at `offset`: the end of the first
// "endobj" from there; nothing when none follows (a file cut short or
// filled up with zeros), since such an object copied would run on to the end
// of the new file. Stream data whose /Length is known and which is followed
// by "endstream" is stepped over first, so data that happen to contain
// "endobj" are not cut. Moves the document's cursor.
std::optional<TFilePos> OldObjectEnd(TPdfDocument& doc, TFilePos offset);

// Whether the old object that ends at `end` (see OldObjectEnd) is a stream:
// "endstream" stands right before its "endobj".
bool EndsAsStream(const TPdfDocument& doc, TFilePos end);

// Copies old bytes [start, end) with the insertions that fall in the range.
void CopyWithInsertions(const TPdfDocument& doc, TFilePos start, TFilePos end, const TInsertionMap& insertions,
                        TByteSink& out);

// The tokens of a dictionary entry as the writer writes them: each literal
// string as it stands in the old file (the tokenizer drops the backslash of
// an escaped ")", which would unbalance the string when written back), the
// other tokens as read. An entry whose tokens no longer match the file at
// its position keeps its tokens. Moves the document's cursor.
std::vector<std::string> WrittenTokens(TPdfDocument& doc, const TDictEntry& entry);

// The direct value of a /Resources entry (`tokens`, the key first) as the
// writer writes it: from its "<<" to its ">>", joined by blanks, with the page's missing /Font and /XObject
// dictionaries added behind the first "<<" and the added fonts behind the
// "<<" of its own /Font dictionary.
std::string DirectResourcesText(const std::vector<std::string>& tokens, const TPageRecord& page,
                                const std::string& fontRefList, bool addEmpty = true);

// The text of a page-dictionary entry as read (see WrittenTokens).
std::string JoinTokens(const std::vector<std::string>& tokens);

// Whether a page's /Annots entry (an array, or a reference to one) holds
// annotation dictionaries written into the array itself. Moves the
// document's cursor.
bool AnnotsHoldDictionaries(TPdfDocument& doc, const TDictEntry& entry);

// The entries of the dictionary at `pos`, the reader's own parse state
// (entries, failure flag) left as it was. Moves the document's cursor.
TDictEntryList EntriesAt(TPdfDocument& doc, TFilePos pos);

// The entry with this key and a value, or null.
const TDictEntry* EntryWithKey(const TDictEntryList& entries, const std::string& key);

// Where the dictionary an entry names stands: in place, or the body of the
// object it refers to; -1 when that cannot be fetched. Moves the document's
// cursor.
TFilePos DictValuePos(TPdfDocument& doc, const TDictEntry& entry);

// The objects of a linearized file's layout: the parameter dictionary
// ("/Linearized", the first object of the file) and the hint streams its /H
// array points at. Nothing refers to them. Empty for a file that is not
// linearized. Moves the document's cursor.
std::vector<int32_t> LinearizationObjects(TPdfDocument& doc);

// The catalog object ("N G obj" ... "endobj"), its entries as read with
// /Pages naming `pagesRef` ("12 0 R"); empty when the catalog cannot be
// fetched. Moves the document's cursor.
// The catalog as read; `pagesRef` (unless empty) names its page tree,
// `extraEntries` (unless empty) are added.
std::string CatalogObjectText(TPdfDocument& doc, const std::string& pagesRef, const std::string& extraEntries = {});
// Whether the catalog has an entry of that key.
bool CatalogHasEntry(TPdfDocument& doc, std::string_view key);

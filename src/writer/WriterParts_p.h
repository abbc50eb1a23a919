// Pieces of the file writer, shared by PdfWriter.cpp and the tests.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "OutputFile.h"
#include "PdfDocument.h"

// Old-file position -> the text written in front of the byte there while
// old objects are copied: the added fonts spliced into the pages' font
// dictionaries, an empty /Font and /XObject dictionary where a page's
// resources lack one. Pages that share a dictionary would each ask for the
// same text at the same place; it is inserted once, as a second copy would
// only repeat keys that the dictionary already has.
using TInsertionMap = std::map<int32_t, std::string>;
TInsertionMap BuildInsertions(const TPdfDocument& doc, const std::string& fontRefList);

// One past the last byte of the old object at `offset`: the end of the first
// "endobj" from there, or the end of the file without one. Stream data whose
// /Length is known and which is followed by "endstream" is stepped over
// first, so data that happen to contain "endobj" are not cut. Moves the
// document's cursor.
int32_t OldObjectEnd(TPdfDocument& doc, int32_t offset);

// Copies old bytes [start, end) with the insertions that fall in the range.
void CopyWithInsertions(const TPdfDocument& doc, int32_t start, int32_t end, const TInsertionMap& insertions,
                        TByteSink& out);

// The tokens of a dictionary entry as the writer writes them: each literal
// string as it stands in the old file (the tokenizer drops the backslash of
// an escaped ")", which would unbalance the string when written back), the
// other tokens as read. Entries without a file position (copies) keep their
// tokens. Moves the document's cursor.
std::vector<std::string> WrittenTokens(TPdfDocument& doc, const TDictEntry& entry);

// One line of a written page dictionary (without line end): the entry's
// tokens joined by blanks, with the added fonts spliced in after a "<<"
// that follows "/Font", and the missing /XObject and /Font dictionaries
// after the "<<" of the page's own /Resources.
std::string PageEntryLine(const TDictEntry& entry, const std::vector<std::string>& tokens, const TPageRecord& page,
                          const std::string& fontRefList);

// Whether the writer keeps this entry of pageEntries in the page object.
// The page's own entries come first; the copies of the page-tree root's
// /Resources and /MediaBox (keyPos 0) only stand in for missing own ones.
bool KeepPageEntry(const TDictEntry& entry, const TPageRecord& page, bool contentRewritten);

// The page-tree nodes' /Rotate and /CropBox, which a page inherits from
// its nearest ancestor that has them. The written tree is flat, so a page
// that relied on an ancestor for them must carry them itself.
class TInheritedAttributes {
public:
    explicit TInheritedAttributes(TPdfDocument& doc) : doc_(doc) {}
    // Entry lines ("/Rotate 90") for the attributes the page lacks, in the
    // order /Rotate, /CropBox. Moves the document's cursor.
    std::vector<std::string> LinesFor(const TPageRecord& page);

private:
    struct TNode {
        int32_t parent = -1;
        std::string rotate;
        std::string cropBox;
    };
    const TNode& Node(int32_t objNum);

    TPdfDocument& doc_;
    std::map<int32_t, TNode> nodes_;
};

// A coordinate rounded to the nearest integer (halves to even) as text. A
// value no page can have (not a number, beyond +-1e15) is clamped first, so
// the conversion to an integer stays defined.
std::string RoundedText(double value);

// The annotation object of a page's annotation, lines ended by CR; empty
// for an annotation of kind 0.
std::string AnnotationObjectText(const TAnnotation& annot, double pageTop);

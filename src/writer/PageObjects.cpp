// The page dictionaries and annotation objects as the writer writes them.
#include <set>

#include "InfoObject.h"
#include "PdfText.h"
#include "WriterParts_p.h"

namespace {

bool IsOwnEntry(const TDictEntry& entry) { return entry.keyPos > 0; }

bool HasOwnEntry(const TPageRecord& page, const std::string& key) {
    for (const TDictEntry& entry : page.pageEntries)
        if (IsOwnEntry(entry) && !entry.tokens.empty() && entry.tokens[0] == key) return true;
    return false;
}

const char* const kIconNames[] = {
    "/Comment",     "/Insert",       "/Note",    "/Paragraph",    "/NewParagraph",     "/Key",
    "/Help",        "/Approved",     "/AsIs",    "/Confidential", "/Departmental",     "/Draft",
    "/Experimental", "/Expired",     "/Final",   "/ForComment",   "/ForPublicRelease", "/NotApproved",
    "/NotForPublicRelease", "/Sold", "/TopSecret",
};
constexpr int32_t kIconCount = static_cast<int32_t>(sizeof kIconNames / sizeof kIconNames[0]);
constexpr int32_t kFirstStampKind = 7;

// A chain of /Parent links longer than this is broken or hostile.
constexpr int32_t kMaxAncestors = 256;

std::string JoinTokens(const std::vector<std::string>& tokens) {
    std::string line;
    for (size_t i = 0; i < tokens.size(); ++i) line += (i ? " " : "") + tokens[i];
    return line;
}

int32_t ParentOf(const TDictEntryList& entries) {
    for (const TDictEntry& entry : entries) {
        const auto& tokens = entry.tokens;
        if (tokens.size() >= 4 && tokens[0] == "/Parent" && tokens[3] == "R")
            return TryStrToInt(tokens[1]).value_or(-1);
    }
    return -1;
}

}  // namespace

const TInheritedAttributes::TNode& TInheritedAttributes::Node(int32_t objNum) {
    const auto cached = nodes_.find(objNum);
    if (cached != nodes_.end()) return cached->second;
    TNode node;
    if (doc_.FetchObject(objNum)) {
        const uint8_t savedParseFailed = doc_.parseFailed;
        doc_.ParseDict();
        doc_.parseFailed = savedParseFailed;
        const TDictEntryList entries = doc_.TakeDictEntries();
        node.parent = ParentOf(entries);
        for (const TDictEntry& entry : entries) {
            if (entry.tokens.empty()) continue;
            if (entry.tokens[0] == "/Rotate" && node.rotate.empty()) node.rotate = JoinTokens(entry.tokens);
            if (entry.tokens[0] == "/CropBox" && node.cropBox.empty()) node.cropBox = JoinTokens(entry.tokens);
        }
    }
    return nodes_.emplace(objNum, std::move(node)).first->second;
}

std::vector<std::string> TInheritedAttributes::LinesFor(const TPageRecord& page) {
    bool needRotate = true, needCropBox = true;
    for (const TDictEntry& entry : page.pageEntries) {
        if (!IsOwnEntry(entry) || entry.tokens.empty()) continue;
        if (entry.tokens[0] == "/Rotate") needRotate = false;
        if (entry.tokens[0] == "/CropBox") needCropBox = false;
    }
    std::string rotate, cropBox;
    int32_t parent = -1;
    for (const TDictEntry& entry : page.pageEntries) {
        const auto& tokens = entry.tokens;
        if (IsOwnEntry(entry) && tokens.size() >= 4 && tokens[0] == "/Parent" && tokens[3] == "R")
            parent = TryStrToInt(tokens[1]).value_or(-1);
    }
    std::set<int32_t> visited;
    for (int32_t depth = 0; parent > 0 && (needRotate || needCropBox) && depth < kMaxAncestors; ++depth) {
        if (!visited.insert(parent).second) break;
        const TNode& node = Node(parent);
        if (needRotate && !node.rotate.empty()) {
            rotate = node.rotate;
            needRotate = false;
        }
        if (needCropBox && !node.cropBox.empty()) {
            cropBox = node.cropBox;
            needCropBox = false;
        }
        parent = node.parent;
    }
    std::vector<std::string> lines;
    if (!rotate.empty()) lines.push_back(rotate);
    if (!cropBox.empty()) lines.push_back(cropBox);
    return lines;
}

std::string RoundedText(double value) {
    constexpr double kLimit = 1e15;
    if (!(value == value)) value = 0;  // NaN
    if (value > kLimit) value = kLimit;
    if (value < -kLimit) value = -kLimit;
    return std::to_string(RoundHalfEven(value));
}

std::string PageEntryLine(const TDictEntry& entry, const std::vector<std::string>& tokens, const TPageRecord& page,
                          const std::string& fontRefList) {
    std::string line;
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (i > 0) line += ' ';
        line += tokens[i];
        if (i == 0 || tokens[i] != "<<") continue;
        const std::string& before = tokens[i - 1];
        if (before == "/Resources") {
            // Only the page's own resources: the -1 positions mean "looked
            // for and not there" only where the page's resources were read.
            if (!page.hasResources || !IsOwnEntry(entry)) continue;
            if (page.xobjectsFirstKeyPos == -1) line += " /XObject <<  >> ";
            if (page.fontsFirstKeyPos == -1) line += " /Font << " + fontRefList + " >> ";
        } else if (before == "/Font") {
            line += " " + fontRefList;
        } else if (before == "/XObject") {
            line += " ";
        }
    }
    return line;
}

bool KeepPageEntry(const TDictEntry& entry, const TPageRecord& page, bool contentRewritten) {
    if (entry.tokens.empty()) return false;
    const std::string& key = entry.tokens[0];
    if (key == "/Parent" || key == "/Annots" || key == "/MediaBox") return false;
    if (key == "/Contents") return !contentRewritten;
    if (key == "/CropBox") return IsOwnEntry(entry);
    if (key == "/Resources" && !IsOwnEntry(entry)) {
        if (HasOwnEntry(page, "/Resources")) return false;
        // Of the root's copies only the first counts.
        for (const TDictEntry& other : page.pageEntries) {
            if (&other == &entry) return true;
            if (!other.tokens.empty() && other.tokens[0] == "/Resources") return false;
        }
    }
    return true;
}

std::string AnnotationObjectText(const TAnnotation& annot, double pageTop) {
    if (annot.annotKind == 0) return {};
    std::string out = std::to_string(annot.objNum) + " " + std::to_string(annot.gen) + " obj\r<<\r/Type /Annot\r";
    if (annot.iconKind < kFirstStampKind) {
        if (annot.isFreeText) {
            out += "/Subtype /FreeText\r/DA ()\r/Border [0 0 0]\r";
        } else {
            out += "/Subtype /Text\r";
            if (annot.iconKind >= 0) out += std::string("/Name ") + kIconNames[annot.iconKind] + "\r";
            out += annot.isOpen ? "/Open true\r" : "/Open false\r";
        }
    } else {
        out += "/Subtype /Stamp\r";
        if (annot.iconKind < kIconCount) out += std::string("/Name ") + kIconNames[annot.iconKind] + "\r";
    }
    out += "/Rect [ " + RoundedText(annot.x1 * 72) + " " + RoundedText(pageTop - annot.y1 * 72) + " " +
           RoundedText(annot.x2 * 72) + " " + RoundedText(pageTop - annot.y2 * 72) + " ]\r";
    out += "/Contents (" + EscapeLiteralString(annot.contents) + ")\r";
    out += "/T (" + EscapeLiteralString(annot.title) + ")\r";
    out += ">>\rendobj\r";
    return out;
}

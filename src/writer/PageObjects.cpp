// The page dictionaries and annotation objects as the writer writes them.
#include <algorithm>
#include <cstdio>

#include "InfoObject.h"
#include "PdfText.h"
#include "WriterParts_p.h"

namespace {

const char* const kIconNames[] = {
    "/Comment",     "/Insert",       "/Note",    "/Paragraph",    "/NewParagraph",     "/Key",
    "/Help",        "/Approved",     "/AsIs",    "/Confidential", "/Departmental",     "/Draft",
    "/Experimental", "/Expired",     "/Final",   "/ForComment",   "/ForPublicRelease", "/NotApproved",
    "/NotForPublicRelease", "/Sold", "/TopSecret",
};
constexpr int32_t kIconCount = static_cast<int32_t>(sizeof kIconNames / sizeof kIconNames[0]);
constexpr int32_t kFirstStampKind = 7;

}  // namespace

std::string JoinTokens(const std::vector<std::string>& tokens) {
    std::string line;
    for (size_t i = 0; i < tokens.size(); ++i) line += (i ? " " : "") + tokens[i];
    return line;
}

std::string NumberText(double value) {
    constexpr double kLimit = 1e15;
    if (!(value == value)) value = 0;  // NaN
    value = std::clamp(value, -kLimit, kLimit);
    char text[48];
    std::snprintf(text, sizeof text, "%.6f", value);
    std::string result = text;
    while (result.back() == '0') result.pop_back();
    if (result.back() == '.') result.pop_back();
    if (result == "-0") result = "0";
    return result;
}

std::string DirectResourcesText(const std::vector<std::string>& tokens, const TPageRecord& page,
                                const std::string& fontRefList) {
    std::string text;
    int32_t depth = 0;  // dictionaries open around the current token
    for (size_t i = 1; i < tokens.size(); ++i) {
        const std::string& token = tokens[i];
        if (i > 1) text += ' ';
        text += token;
        if (token == ">>") --depth;
        if (token != "<<") continue;
        ++depth;
        if (depth == 1) {
            if (page.fontsForm == TValueForm::Absent) text += " /Font << " + fontRefList + " >>";
            if (page.xobjectsForm == TValueForm::Absent) text += " /XObject << >>";
        } else if (depth == 2 && tokens[i - 1] == "/Font" && !fontRefList.empty()) {
            text += " " + fontRefList;
        }
    }
    return text;
}

bool AnnotsHoldDictionaries(TPdfDocument& doc, const TDictEntry& entry) {
    const auto& tokens = entry.tokens;
    if (tokens.size() >= 2 && tokens[1] == "[") return std::find(tokens.begin(), tokens.end(), "<<") != tokens.end();
    if (tokens.size() < 4 || tokens[3] != "R") return false;
    const auto objNum = TryStrToInt(tokens[1]);
    if (!objNum || !doc.FetchObject(*objNum) || doc.ReadToken() != "[") return false;
    // Bounded like every array the reader follows: a missing "]" must not
    // run on through the rest of the file.
    constexpr int32_t kMaxTokens = 1000000;
    int32_t nesting = 0;
    for (int32_t read = 0; read < kMaxTokens && doc.GetPos() < doc.End(); ++read) {
        const std::string token = doc.ReadToken();
        if (token == "<<") return true;
        if (token == "endobj" || (token == "]" && nesting-- == 0)) break;
        if (token == "[") ++nesting;
    }
    return false;
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
    out += "/Rect [ " + NumberText(annot.x1 * 72) + " " + NumberText(pageTop - annot.y1 * 72) + " " +
           NumberText(annot.x2 * 72) + " " + NumberText(pageTop - annot.y2 * 72) + " ]\r";
    out += "/Contents (" + EscapeLiteralString(annot.contents) + ")\r";
    out += "/T (" + EscapeLiteralString(annot.title) + ")\r";
    out += ">>\rendobj\r";
    return out;
}

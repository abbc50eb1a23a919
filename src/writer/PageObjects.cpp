// The page dictionaries as the writer writes them.
#include <algorithm>

#include "PdfText.h"
#include "WriterParts_p.h"

std::string JoinTokens(const std::vector<std::string>& tokens) {
    std::string line;
    for (size_t i = 0; i < tokens.size(); ++i) line += (i ? " " : "") + tokens[i];
    return line;
}

std::string DirectResourcesText(const std::vector<std::string>& tokens, const TPageRecord& page,
                                const std::string& fontRefList, bool addEmpty) {
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
            if (page.fontsForm == TValueForm::Absent && (addEmpty || !fontRefList.empty()))
                text += " /Font << " + fontRefList + " >>";
            if (page.xobjectsForm == TValueForm::Absent && addEmpty) text += " /XObject << >>";
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

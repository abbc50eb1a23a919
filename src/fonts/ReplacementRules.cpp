#include "ReplacementRules.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

constexpr int32_t kItalicFlag = 64;
constexpr int32_t kForceBoldFlag = 0x40000;
// A rules file is a short text written by a person; anything longer is not one.
constexpr std::streamoff kMaxRulesFileBytes = 1 << 20;

char Lower(char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch; }

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    const size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

bool Contains(const std::string& text, const char* word) {
    std::string lower;
    for (char ch : text) lower += Lower(ch);
    return lower.find(word) != std::string::npos;
}

std::optional<TFontStyle> StyleNamed(const std::string& name) {
    if (name == "Regular") return TFontStyle{false, false};
    if (name == "Bold") return TFontStyle{true, false};
    if (name == "Italic") return TFontStyle{false, true};
    if (name == "BoldItalic") return TFontStyle{true, true};
    return std::nullopt;
}

std::string StyleName(const TFontStyle& style) {
    if (style.bold && style.italic) return "BoldItalic";
    if (style.bold) return "Bold";
    if (style.italic) return "Italic";
    return "Regular";
}

TRuleError Error(TRuleProblem problem, std::string detail = {}) { return {0, problem, std::move(detail)}; }

// The face after "FAMILY:"; "Bold:Italic" as the font chooser writes it.
std::optional<TFontStyle> NewFaceStyle(const std::string& text) {
    if (text == "Bold:Italic") return TFontStyle{true, true};
    return StyleNamed(text);
}

}  // namespace

std::variant<TReplacementRule, TRuleError> ParseRule(const std::string& text) {
    const std::string rule = Trimmed(text);
    const size_t equals = rule.find('=');
    if (equals == std::string::npos) return Error(TRuleProblem::NoEquals);
    if (rule.find('=', equals + 1) != std::string::npos) return Error(TRuleProblem::SeveralEquals);

    TReplacementRule result;
    std::string left = Trimmed(rule.substr(0, equals));
    if (const size_t comma = left.find(','); comma != std::string::npos) {
        const std::string style = Trimmed(left.substr(comma + 1));
        result.oldStyle = StyleNamed(style);
        if (!result.oldStyle) return Error(TRuleProblem::UnknownStyle, style);
        left = Trimmed(left.substr(0, comma));
    }
    if (left.empty()) return Error(TRuleProblem::OldFontMissing);
    for (char ch : left)
        if (static_cast<unsigned char>(ch) <= ' ' || ch == '/' || ch == ':')
            return Error(TRuleProblem::BadOldFontCharacter);
    result.pattern = left;

    std::string right = Trimmed(rule.substr(equals + 1));
    if (const size_t colon = right.find(':'); colon != std::string::npos) {
        const std::string style = Trimmed(right.substr(colon + 1));
        result.newStyle = NewFaceStyle(style);
        if (!result.newStyle) return Error(TRuleProblem::UnknownStyle, style);
        right = Trimmed(right.substr(0, colon));
    }
    if (right.empty()) return Error(TRuleProblem::NewFontMissing);
    result.family = right;
    return result;
}

std::variant<std::vector<TReplacementRule>, TRuleError> ParseRules(const std::string& text) {
    std::vector<TReplacementRule> rules;
    std::istringstream lines(text);
    std::string line;
    int32_t number = 0;
    while (std::getline(lines, line)) {
        ++number;
        const std::string trimmed = Trimmed(line);
        if (trimmed.empty() || trimmed[0] == '#') continue;
        auto parsed = ParseRule(trimmed);
        if (auto* error = std::get_if<TRuleError>(&parsed)) {
            error->line = number;
            return *error;
        }
        rules.push_back(std::get<TReplacementRule>(std::move(parsed)));
    }
    return rules;
}

std::string FormatRule(const TReplacementRule& rule) {
    std::string text = rule.pattern;
    if (rule.oldStyle) text += "," + StyleName(*rule.oldStyle);
    text += "=" + rule.family;
    if (rule.newStyle) text += ":" + StyleName(*rule.newStyle);
    return text;
}

std::string FormatRules(const std::vector<TReplacementRule>& rules) {
    std::string text;
    for (const TReplacementRule& rule : rules) text += FormatRule(rule) + "\n";
    return text;
}

std::variant<std::vector<TReplacementRule>, TRuleError> LoadRulesFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return Error(TRuleProblem::FileUnreadable, path);
    const std::streamoff size = in.tellg();
    if (size < 0 || size > kMaxRulesFileBytes) return Error(TRuleProblem::FileTooLarge, path);
    std::string text(static_cast<size_t>(size), '\0');
    in.seekg(0);
    if (!in.read(text.data(), size)) return Error(TRuleProblem::FileUnreadable, path);
    return ParseRules(text);
}

bool SaveRulesFile(const std::string& path, const std::vector<TReplacementRule>& rules) {
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out << FormatRules(rules);
        out.flush();
        if (!out) {
            out.close();
            std::remove(temp.c_str());
            return false;
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

std::string WithoutSubsetTag(const std::string& baseFont) {
    if (baseFont.size() < 8 || baseFont[6] != '+') return baseFont;
    for (size_t i = 0; i < 6; ++i)
        if (baseFont[i] < 'A' || baseFont[i] > 'Z') return baseFont;
    return baseFont.substr(7);
}

TFontStyle OldFontStyle(const std::string& baseFont, int32_t descriptorFlags) {
    TFontStyle style;
    style.bold = Contains(baseFont, "bold") || Contains(baseFont, "black") || Contains(baseFont, "heavy") ||
                 (descriptorFlags & kForceBoldFlag) != 0;
    style.italic = Contains(baseFont, "italic") || Contains(baseFont, "oblique") || (descriptorFlags & kItalicFlag) != 0;
    return style;
}

std::string WithoutStyleSuffix(const std::string& baseFont) {
    const size_t comma = baseFont.find(',');
    return comma == std::string::npos ? baseFont : baseFont.substr(0, comma);
}

bool WildcardMatch(const std::string& pattern, const std::string& text) {
    // Greedy with one back-track point: the last "*" takes one more
    // character whenever the rest fails, which is enough for "*" alone.
    size_t p = 0, t = 0;
    size_t starP = std::string::npos, starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starT = t;
        } else if (p < pattern.size() && Lower(pattern[p]) == Lower(text[t])) {
            ++p;
            ++t;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

const TReplacementRule* FindRule(const std::vector<TReplacementRule>& rules, const std::string& baseFont,
                                 const TFontStyle& oldStyle) {
    const std::string name = WithoutSubsetTag(baseFont);
    const std::string plain = WithoutStyleSuffix(name);
    for (const TReplacementRule& rule : rules) {
        if (rule.oldStyle) {
            if (*rule.oldStyle == oldStyle && (WildcardMatch(rule.pattern, plain) || WildcardMatch(rule.pattern, name)))
                return &rule;
        } else if (WildcardMatch(rule.pattern, name) || WildcardMatch(rule.pattern, plain)) {
            return &rule;
        }
    }
    return nullptr;
}

const std::vector<TReplacementRule>& StandardCloneRules() {
    // The weights Light, Book, Medium and Demi say nothing of bold to the
    // style reading of a name: those faces are named here. Narrow
    // Helvetica comes before Helvetica.
    static const std::vector<TReplacementRule> rules = [] {
        const auto parsed = ParseRules(
            "Times-*=Nimbus Roman\n"
            "Helvetica-Narrow*=Nimbus Sans Narrow\n"
            "Helvetica=Nimbus Sans\n"
            "Helvetica-*=Nimbus Sans\n"
            "Courier=Nimbus Mono PS\n"
            "Courier-*=Nimbus Mono PS\n"
            "Symbol=Standard Symbols PS\n"
            "ZapfDingbats=D050000L\n"
            "Palatino-*=P052\n"
            "Bookman-Light=URW Bookman:Regular\n"
            "Bookman-LightItalic=URW Bookman:Italic\n"
            "Bookman-Demi=URW Bookman:Bold\n"
            "Bookman-DemiItalic=URW Bookman:BoldItalic\n"
            "NewCenturySchlbk-*=C059\n"
            "AvantGarde-Book=URW Gothic:Regular\n"
            "AvantGarde-BookOblique=URW Gothic:Italic\n"
            "AvantGarde-Demi=URW Gothic:Bold\n"
            "AvantGarde-DemiOblique=URW Gothic:BoldItalic\n"
            "ZapfChancery-MediumItalic=Z003:Italic\n");
        return std::get<std::vector<TReplacementRule>>(parsed);
    }();
    return rules;
}

#include "StandardFonts.h"

#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>

namespace {

std::string& FontDirectory() {
    static std::string directory = "/usr/share/fonts/type1/urw-base35";
    return directory;
}

// The family part of a /BaseFont value, reduced to one of the three
// standard families or the two symbol fonts, and its style.
struct TStandardName {
    std::string family;  // "Times", "Helvetica", "Courier", "Symbol", "ZapfDingbats"
    bool bold = false;
    bool italic = false;
};

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

std::optional<TStandardName> StandardName(std::string name) {
    // "ABCDEF+Times-Roman": the subset tag is six capitals and a plus.
    if (name.size() > 7 && name[6] == '+') name.erase(0, 7);
    TStandardName result;
    const size_t cut = name.find_first_of(",-");
    const std::string family = name.substr(0, cut);
    const std::string style = cut == std::string::npos ? std::string() : name.substr(cut + 1);
    if (family == "Times" || family == "TimesNewRoman" || family == "TimesNewRomanPS" ||
        family == "TimesNewRomanPSMT")
        result.family = "Times";
    else if (family == "Helvetica" || family == "Arial" || family == "ArialMT")
        result.family = "Helvetica";
    else if (family == "Courier" || family == "CourierNew" || family == "CourierNewPSMT" ||
             family == "CourierNewPS")
        result.family = "Courier";
    else if (name == "Symbol" || name == "ZapfDingbats")
        return TStandardName{name, false, false};
    else
        return std::nullopt;
    result.bold = Contains(style, "Bold");
    result.italic = Contains(style, "Italic") || Contains(style, "Oblique");
    return result;
}

// The published ascender and descender of each family: viewers give a
// standard font that is not embedded these, whatever its descriptor says.
void SetVerticalMetrics(const std::string& family, TStandardFontMetrics& metrics) {
    struct TVertical {
        const char* family;
        int32_t ascent;
        int32_t descent;
    };
    static const TVertical kFamilies[] = {{"Times", 683, -217}, {"Helvetica", 718, -207}, {"Courier", 629, -157}};
    for (const TVertical& vertical : kFamilies) {
        if (family != vertical.family) continue;
        metrics.ascent = vertical.ascent;
        metrics.descent = vertical.descent;
    }
}

std::string AfmFileName(const TStandardName& name) {
    if (name.family == "Symbol") return "StandardSymbolsPS";
    if (name.family == "ZapfDingbats") return "D050000L";
    const char* base = name.family == "Times" ? "NimbusRoman" : name.family == "Helvetica" ? "NimbusSans" : "NimbusMonoPS";
    std::string style = name.bold && name.italic ? "BoldItalic" : name.bold ? "Bold" : name.italic ? "Italic" : "Regular";
    return std::string(base) + "-" + style;
}

// "C 65 ; WX 722 ; N A ; B ..." -> its fields.
void ParseCharMetrics(const std::string& line, TStandardFontMetrics& metrics) {
    int32_t code = -1;
    std::optional<int32_t> width;
    std::string name;
    std::istringstream fields(line);
    std::string field;
    while (std::getline(fields, field, ';')) {
        std::istringstream words(field);
        std::string key;
        words >> key;
        if (key == "C") {
            words >> code;
        } else if (key == "WX") {
            int32_t value = 0;
            if (words >> value) width = value;
        } else if (key == "N") {
            words >> name;
        }
    }
    if (name.empty() || !width) return;
    metrics.widths.emplace(name, *width);
    if (code >= 0 && code < 256 && metrics.builtInEncoding[static_cast<size_t>(code)].empty())
        metrics.builtInEncoding[static_cast<size_t>(code)] = name;
}

}  // namespace

TStandardFontMetrics ParseAfm(const std::string& text) {
    TStandardFontMetrics metrics;
    bool fixedPitch = false;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.compare(0, 9, "FontName ") == 0) metrics.afmName = line.substr(9);
        else if (line.compare(0, 2, "C ") == 0) ParseCharMetrics(line, metrics);
        else if (line.compare(0, 17, "IsFixedPitch true") == 0) fixedPitch = true;
    }
    if (const auto space = metrics.widths.find("space"); fixedPitch && space != metrics.widths.end())
        metrics.missingWidth = space->second;
    return metrics;
}

void SetStandardFontDirectory(const std::string& directory) { FontDirectory() = directory; }

const TStandardFontMetrics* StandardFontMetrics(const std::string& baseFont) {
    const auto name = StandardName(baseFont);
    if (!name) return nullptr;
    const std::string file = FontDirectory() + "/" + AfmFileName(*name) + ".afm";

    static std::mutex mutex;
    static std::map<std::string, std::unique_ptr<TStandardFontMetrics>> cache;
    const std::lock_guard<std::mutex> lock(mutex);
    auto found = cache.find(file);
    if (found == cache.end()) {
        std::unique_ptr<TStandardFontMetrics> metrics;
        std::ifstream in(file, std::ios::binary);
        if (in) {
            std::ostringstream text;
            text << in.rdbuf();
            metrics = std::make_unique<TStandardFontMetrics>(ParseAfm(text.str()));
            metrics->symbolic = name->family == "Symbol" || name->family == "ZapfDingbats";
            SetVerticalMetrics(name->family, *metrics);
            if (metrics->widths.empty()) metrics.reset();
        }
        found = cache.emplace(file, std::move(metrics)).first;
    }
    return found->second.get();
}

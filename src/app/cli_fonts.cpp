// glyphwell-cli fonts: the pages, font records and decoded images of a file.
#include <algorithm>
#include <cstdio>

#include "CliCommands.h"

namespace {

int32_t CountSet(const std::array<uint8_t, 256>& slots) {
    int32_t count = 0;
    for (uint8_t slot : slots) count += slot ? 1 : 0;
    return count;
}

std::string HeaderVersion(const TPdfDocument& doc) {
    if (doc.SourceSize() < 8) return "-";
    return Cp1252ToUtf8(std::string(reinterpret_cast<const char*>(doc.Source().data()) + 5, 3));
}

std::string FirstFilter(const TImageRecord& image) {
    if (image.filterNames.empty()) return "";
    const std::string& name = image.filterNames.front();
    return Cp1252ToUtf8(!name.empty() && name[0] == '/' ? name.substr(1) : name);
}

const char* JsonBool(bool value) { return value ? "true" : "false"; }

// The plain listing's words for the same.
std::string UsedInText(const TFontRecord& font) {
    switch (font.use) {
        case TFontUse::Form: return ", in Formular " + Cp1252ToUtf8(font.usedBy);
        case TFontUse::Annotation: return ", in Anmerkung " + font.usedBy;
        case TFontUse::FormDefaults: return ", Standardschrift des Formulars";
        case TFontUse::PageContent: break;
    }
    return "";
}

// The font's type in the words pdffonts uses.
std::string FontType(const TFontRecord& font) {
    const bool compact = font.fontFileKind == 3;
    if (font.subtype == "/Type0") {
        if (font.cidSubtype == "/CIDFontType0") return compact ? "CID Type 0C" : "CID Type 0";
        if (font.cidSubtype == "/CIDFontType2") return "CID TrueType";
        return "Type 0";
    }
    if (font.subtype == "/Type1" || font.subtype == "/MMType1") return compact ? "Type 1C" : "Type 1";
    if (font.subtype == "/TrueType") return "TrueType";
    if (font.subtype == "/Type3") return "Type 3";
    return font.subtype.size() > 1 ? font.subtype.substr(1) : "";
}

// /BaseFont without its slash and subset tag ("ABCDEF+").
std::string FontName(const TFontRecord& font) {
    std::string name = font.baseFont.size() > 1 ? font.baseFont.substr(1) : "";
    if (name.size() > 7 && name[6] == '+' &&
        std::all_of(name.begin(), name.begin() + 6, [](char ch) { return ch >= 'A' && ch <= 'Z'; }))
        name.erase(0, 7);
    return Cp1252ToUtf8(name);
}

void PrintJson(const TCliDocument& cli) {
    const TPdfDocument& doc = cli.doc;
    std::printf("{\"pages\": %d, \"version\": %s, \"repaired\": %s, \"fonts\": [", doc.pageList.Count(),
                JsonString(HeaderVersion(doc)).c_str(), JsonBool(doc.repaired));
    const char* separator = "";
    for (const TFontRecord& font : doc.fontList) {
        std::printf("%s{\"page\": %d, \"resource\": %s, \"name\": %s, \"type\": %s, \"baseFont\": %s, "
                    "\"subtype\": %s, \"embedded\": %s, \"toUnicode\": %s, \"usedIn\": %s, \"type3\": %s, "
                    "\"encoding\": %d, \"firstChar\": %d, \"widths\": %d, \"differences\": %d, \"charSet\": %s}",
                    separator, font.pageIndex + 1, JsonString(Cp1252ToUtf8(font.resName)).c_str(),
                    JsonString(FontName(font)).c_str(), JsonString(FontType(font)).c_str(),
                    JsonString(Cp1252ToUtf8(font.baseFont)).c_str(), JsonString(Cp1252ToUtf8(font.subtype)).c_str(),
                    JsonBool(font.embedded), JsonBool(font.toUnicodeObj > 0), FontUseJson(font).c_str(),
                    JsonBool(font.isType3), font.encoding,
                    font.firstChar, CountSet(font.Codes().widthSet), CountSet(font.Codes().differenceSet), JsonBool(font.hasCharSet));
        separator = ", ";
    }
    std::printf("], \"images\": [");
    separator = "";
    for (const TImageRecord& image : doc.imageList) {
        std::printf("%s{\"resource\": %s, \"page\": %d, \"width\": %d, \"height\": %d, \"filter\": %s}", separator,
                    JsonString(Cp1252ToUtf8(image.resName)).c_str(), image.pageIndex + 1, image.width,
                    image.height, JsonString(FirstFilter(image)).c_str());
        separator = ", ";
    }
    std::printf("], \"messages\": [");
    separator = "";
    for (const auto& message : cli.ui.messages) {
        std::printf("%s%s", separator, JsonString(message.text).c_str());
        separator = ", ";
    }
    std::printf("]}\n");
}

const char* JaNein(bool value) { return value ? "ja" : "nein"; }

void PrintPlain(const TCliDocument& cli) {
    const TPdfDocument& doc = cli.doc;
    std::printf("PDF-Version: %s\n", HeaderVersion(doc).c_str());
    std::printf("Seiten: %d\n", doc.pageList.Count());
    std::printf("Schriftarten: %d\n", doc.fontList.Count());
    for (const TFontRecord& font : doc.fontList) {
        std::printf("  Seite %d: %s%s, Type3: %s, Kodierung: %d, erstes Zeichen: %d, Breiten: %d, "
                    "Differences: %d, CharSet: %s\n",
                    font.pageIndex + 1, Cp1252ToUtf8(font.resName).c_str(), UsedInText(font).c_str(),
                    JaNein(font.isType3), font.encoding, font.firstChar, CountSet(font.Codes().widthSet),
                    CountSet(font.Codes().differenceSet), JaNein(font.hasCharSet));
    }
    // The open keeps only the records of pictures that can be shown.
    std::printf("Bilder: %d\n", doc.imageList.Count());
    for (const TImageRecord& image : doc.imageList) {
        std::printf("  Seite %d: %s, %d x %d Pixel, Filter: %s\n", image.pageIndex + 1,
                    Cp1252ToUtf8(image.resName).c_str(), image.width, image.height, FirstFilter(image).c_str());
    }
    for (const auto& message : cli.ui.messages) std::printf("Meldung: %s\n", message.text.c_str());
}

}  // namespace

std::string FontUseJson(const TFontRecord& font) {
    switch (font.use) {
        case TFontUse::Form: return "{\"form\": " + JsonString(Cp1252ToUtf8(font.usedBy)) + "}";
        case TFontUse::Annotation: return "{\"annotation\": " + std::to_string(TryStrToInt(font.usedBy).value_or(0)) + "}";
        case TFontUse::FormDefaults: return "{\"formDefaults\": true}";
        case TFontUse::PageContent: break;
    }
    return "{\"content\": true}";
}

int CliFonts(const TCliArgs& args) {
    bool json = false;
    std::vector<std::string> files;
    bool unknownOption = false;
    for (const std::string& arg : args) {
        if (arg == "--json") json = true;
        else if (arg.size() > 1 && arg[0] == '-') unknownOption = true;
        else files.push_back(arg);
    }
    if (unknownOption || files.size() != 1) {
        std::fputs("Aufruf: glyphwell-cli fonts [--json] DATEI\n", stderr);
        return 64;
    }
    TCliDocument cli;
    cli.Open(files[0]);
    // An encrypted file that did not open: its message is all there is.
    if (cli.OpenStatus() == 3) {
        PrintMessages(cli.ui);
        return 3;
    }
    if (json) PrintJson(cli);
    else PrintPlain(cli);
    return cli.OpenStatus();
}

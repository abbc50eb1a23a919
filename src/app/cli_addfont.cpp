// add-font: adds an installed TrueType font to the document as the dialog
// "Schriftart wechseln" does, and shows what the saved file would get.
#include <cstdio>

#include "AddedFonts.h"
#include "CliCommands.h"

namespace {

const char* const kAddFontUsage = "Aufruf: glyphwell-cli add-font [--json] DATEI \"Familie[:Bold][:Italic]\"\n";

struct TFontChoice {
    std::string family;
    bool bold = false;
    bool italic = false;
};

// "Family[:Bold][:Italic]"; the style words in any case and order.
bool ParseFontChoice(const std::string& text, TFontChoice& choice) {
    const size_t colon = text.find(':');
    choice.family = text.substr(0, colon);
    if (choice.family.empty()) return false;
    size_t pos = colon;
    while (pos != std::string::npos) {
        const size_t next = text.find(':', pos + 1);
        std::string style = text.substr(pos + 1, next == std::string::npos ? std::string::npos : next - pos - 1);
        for (char& ch : style) ch = (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch;
        if (style == "bold") choice.bold = true;
        else if (style == "italic") choice.italic = true;
        else return false;
        pos = next;
    }
    return true;
}

std::string JsonOrNull(const std::string* text) { return text ? JsonString(Cp1252ToUtf8(*text)) : "null"; }

void PrintJson(const THeadlessUi& ui, const TFontRecord* font, const std::string& failure) {
    std::printf("{\"resource\": %s, \"baseFont\": %s, \"fontDictExtra\": %s, \"messages\": [",
                JsonOrNull(font ? &font->resName : nullptr).c_str(),
                JsonOrNull(font ? &font->baseFontName : nullptr).c_str(),
                JsonOrNull(font ? &font->fontDictExtra : nullptr).c_str());
    const char* separator = "";
    for (const auto& message : ui.messages) {
        std::printf("%s%s", separator, JsonString(message.text).c_str());
        separator = ", ";
    }
    if (!failure.empty()) std::printf("%s%s", separator, JsonString(failure).c_str());
    std::printf("]}\n");
}

}  // namespace

int CliAddFont(const TCliArgs& args) {
    bool json = false;
    std::vector<std::string> rest;
    for (const auto& arg : args) {
        if (arg == "--json") json = true;
        else rest.push_back(arg);
    }
    TFontChoice choice;
    if (rest.size() != 2 || !ParseFontChoice(rest[1], choice)) {
        std::fputs(kAddFontUsage, stderr);
        return 64;
    }

    TCliDocument cli;
    cli.Open(rest[0]);
    // The dialog is reached through the replace command, which needs a page.
    if (cli.doc.pageList.Count() == 0) {
        if (json) PrintJson(cli.ui, nullptr, "");
        else PrintMessages(cli.ui);
        const int status = cli.OpenStatus();
        return status != 0 ? status : 1;
    }

    const auto resName = AddInstalledFont(cli.doc, Utf8ToCp1252(choice.family), choice.bold, choice.italic);
    if (!resName) {
        const std::string failure = "Keine TrueType- oder OpenType-Schriftart \"" + rest[1] + "\" gefunden!";
        if (json) {
            PrintJson(cli.ui, nullptr, failure);
        } else {
            PrintMessages(cli.ui);
            std::fprintf(stderr, "Fehler: %s\n", failure.c_str());
        }
        return 1;
    }
    const TFontRecord& font = cli.doc.fontList[static_cast<size_t>(cli.doc.fontList.Count() - 1)];
    if (json) {
        PrintJson(cli.ui, &font, "");
    } else {
        std::printf("Ressource: %s\n", Cp1252ToUtf8(font.resName).c_str());
        std::printf("BaseFont: %s\n", Cp1252ToUtf8(font.baseFontName).c_str());
        std::printf("fontDictExtra: %s\n", Cp1252ToUtf8(font.fontDictExtra).c_str());
        PrintMessages(cli.ui);
    }
    return 0;
}

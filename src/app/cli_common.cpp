#include <cstdio>
#include <map>
#include <set>

#include "CliCommands.h"
#include "FontMeasurer.h"
#include "FormRewrite.h"
#include "OpenMessages.h"

namespace {

std::string& CliPassword() {
    static std::string password;
    return password;
}

}  // namespace

void SetCliPassword(std::string password) { CliPassword() = std::move(password); }

TCliDocument::TCliDocument() : measurer(std::make_unique<TFreeTypeMeasurer>()) {
    ui.SetMeasurer(measurer.get());
}
TCliDocument::~TCliDocument() = default;

const TOpenReport& TCliDocument::Open(const std::string& path, const TOpenOptions& options) {
    TOpenOptions withPassword = options;
    if (withPassword.password.empty()) withPassword.password = CliPassword();
    const TOpenReport& report = doc.openfilenow(path, withPassword);
    AddOpenTexts(path);
    return report;
}

void TCliDocument::AddOpenTexts(const std::string& path) {
    TOpenTexts texts = OpenTexts(doc.LastOpen(), path);
    for (std::string& line : texts.statusLines) ui.statusLines.push_back(std::move(line));
    for (auto& [text, icon] : texts.messages) ui.messages.push_back({std::move(text), icon});
}

int TCliDocument::OpenStatus() const { return DecideOpen(doc.LastOpen()).exitStatus; }

void PrintMessages(const THeadlessUi& ui) {
    for (const auto& line : ui.statusLines) std::fprintf(stderr, "%s\n", line.c_str());
    for (const auto& message : ui.messages)
        std::fprintf(stderr, "%s: %s\n", message.icon == TMsgIcon::Error ? "Fehler" : "Hinweis",
                     message.text.c_str());
}

std::string JsonString(const std::string& utf8) {
    std::string out = "\"";
    for (unsigned char ch : utf8) {
        switch (ch) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (ch < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", ch);
                    out += buf;
                } else {
                    out += static_cast<char>(ch);
                }
        }
    }
    return out + "\"";
}

std::string KeptPageFontsLine(const std::vector<TKeptFormFont>& kept) {
    std::map<std::string, std::set<int32_t>> pagesByFont;
    for (const TKeptFormFont& font : kept) pagesByFont[font.resName].insert(font.pageIndex + 1);
    std::string line;
    for (const auto& [name, pages] : pagesByFont) {
        std::string list;
        for (int32_t page : pages) list += (list.empty() ? "" : ", ") + std::to_string(page);
        if (!line.empty()) line += " ";
        line += "Die Schrift " + Cp1252ToUtf8(name) + (pages.size() == 1 ? " auf Seite " : " auf den Seiten ") + list +
                " wurde nicht ersetzt, weil der Seiteninhalt nicht vollständig gelesen werden kann und deshalb "
                "unverändert übernommen wird.";
    }
    return line;
}

int SaveRefused(const TPdfDocument& doc, bool decrypt) {
    std::string message;
    if (!doc.Permissions().modify) message = ModifyForbiddenText();
    else if (decrypt && doc.Security() && doc.Security()->Match() != TPasswordMatch::Owner)
        message = DecryptForbiddenText();
    if (message.empty()) return 0;
    std::fprintf(stderr, "Fehler: %s\n", message.c_str());
    return 7;
}

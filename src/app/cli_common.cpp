#include <cstdio>
#include <map>
#include <set>

#include "CliCommands.h"
#include "FontMeasurer.h"
#include "FormRewrite.h"
#include "OpenMessages.h"
#include "SaveMessages.h"

namespace {

// Not a member: THeadlessUi's own progressShown means the progress window.
bool progressLinesShown = false;

}  // namespace

void SetProgressShown(bool shown) {
    progressLinesShown = shown;
}

void TCliUi::AddProgressLine(const std::string& line) {
    if (!progressLinesShown) return;
    std::fprintf(stderr, "%s%s\n", progressPrefix.c_str(), line.c_str());
}

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

std::string PagesText(const std::vector<int32_t>& pages) {
    std::string text;
    for (size_t i = 0; i < pages.size();) {
        size_t j = i;
        while (j + 1 < pages.size() && pages[j + 1] == pages[j] + 1) ++j;
        if (!text.empty()) text += ", ";
        text += std::to_string(pages[i]);
        if (j > i) text += "-" + std::to_string(pages[j]);
        i = j + 1;
    }
    return text;
}

std::string RefusalSentence(const TRefusedReplacement& refusal) {
    const std::string oldFont = Cp1252ToUtf8(refusal.oldFont);
    const std::string newFont = Cp1252ToUtf8(refusal.newFont);
    if (refusal.reason == TRefusalReason::CodeWidths) {
        const std::string& composite = refusal.oldComposite ? oldFont : newFont;
        const std::string& simple = refusal.oldComposite ? newFont : oldFont;
        return oldFont + " kann nicht durch " + newFont + " ersetzt werden: " + composite +
               " ist eine zusammengesetzte Schrift mit Zeichencodes aus mehreren Bytes, " + simple +
               " eine einfache mit einem Byte je Zeichen.";
    }
    if (refusal.reason == TRefusalReason::OtherCharacters) {
        const int32_t count = refusal.otherCharacters;
        return oldFont + " kann nicht durch " + newFont + " ersetzt werden: " + newFont + " zeigt für " +
               std::to_string(count) +
               (count == 1 ? " Zeichen einen anderen Buchstaben oder gar keinen." : " Zeichen andere Buchstaben oder gar keine.");
    }
    const int32_t count = refusal.unknownCharacters;
    return oldFont + " kann nicht ersetzt werden: für " + std::to_string(count) +
           (count == 1 ? " Zeichen ist nicht bekannt, welcher Buchstabe es ist."
                       : " Zeichen ist nicht bekannt, welche Buchstaben sie sind.");
}

std::string RefusalLine(const TRefusedReplacement& refusal) {
    return (refusal.pages.size() == 1 ? "Seite " : "Seiten ") + PagesText(refusal.pages) + ": " +
           RefusalSentence(refusal);
}

std::string RefusalJson(const TRefusedReplacement& refusal) {
    std::string json = "{\"font\": " + JsonString(Cp1252ToUtf8(refusal.oldFont)) +
                       ", \"replacement\": " + JsonString(Cp1252ToUtf8(refusal.newFont)) + ", \"pages\": [";
    for (size_t p = 0; p < refusal.pages.size(); ++p) json += (p ? ", " : "") + std::to_string(refusal.pages[p]);
    json += "], \"reason\": ";
    switch (refusal.reason) {
        case TRefusalReason::CodeWidths:
            json += "\"code-widths\"";
            break;
        case TRefusalReason::UnknownCharacters:
            json += "\"unknown-characters\", \"unknownCharacters\": " + std::to_string(refusal.unknownCharacters);
            break;
        case TRefusalReason::OtherCharacters:
            json += "\"other-characters\", \"otherCharacters\": " + std::to_string(refusal.otherCharacters);
            break;
    }
    return json + "}";
}

void PrintMetadataAndClaims(const TWriteReport& report, const std::string& prefix) {
    if (report.metadata == TMetadataOutcome::Unreadable)
        std::fprintf(stderr, "%s%s\n", prefix.c_str(), UnreadableMetadataLine().c_str());
    for (const TClaimProblem& problem : report.claimProblems)
        std::fprintf(stderr, "%s%s\n", prefix.c_str(), ClaimProblemLine(problem).c_str());
}

#include <cstdio>

#include "CliCommands.h"
#include "FontMeasurer.h"
#include "OpenMessages.h"

TCliDocument::TCliDocument() : measurer(std::make_unique<TFreeTypeMeasurer>()) {
    ui.SetMeasurer(measurer.get());
}
TCliDocument::~TCliDocument() = default;

const TOpenReport& TCliDocument::Open(const std::string& path, const TOpenOptions& options) {
    const TOpenReport& report = doc.openfilenow(path, options);
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

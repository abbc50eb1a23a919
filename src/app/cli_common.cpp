#include <cstdio>

#include "CliCommands.h"
#include "ContentInterpreter.h"
#include "FontMeasurer.h"

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

TCliDocument::TCliDocument() : measurer(std::make_unique<TFreeTypeMeasurer>()) {
    ui.SetMeasurer(measurer.get());
    AttachInterpreter(doc);
}
TCliDocument::~TCliDocument() = default;

void PrintMessages(const THeadlessUi& ui) {
    for (const auto& line : ui.statusLines) std::fprintf(stderr, "%s\n", line.c_str());
    for (const auto& message : ui.messages)
        std::fprintf(stderr, "%s: %s\n", message.icon == TMsgIcon::Error ? "Fehler" : "Hinweis",
                     message.text.c_str());
}

int OpenExitStatus(TOpenResult result) {
    switch (result) {
        case TOpenResult::Opened:
        case TOpenResult::Repaired: return 0;
        case TOpenResult::Unreadable: return 2;
        case TOpenResult::Encrypted: return 3;
        case TOpenResult::Invalid:
        case TOpenResult::Unsupported:
        case TOpenResult::Cancelled: break;
    }
    return 1;
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

#include <cstdio>
#include <map>
#include <set>

#include "CliCommands.h"
#include "FontMeasurer.h"
#include "FormRewrite.h"
#include "NoticeTexts.h"
#include "OpenMessages.h"
#include "SaveMessages.h"

namespace {

// Not a member: THeadlessUi's own progressShown means the progress window.
bool progressLinesShown = false;

}  // namespace

void SetProgressShown(bool shown) {
    progressLinesShown = shown;
}

void TCliUi::Progress(const TProgress& step) {
    if (!progressLinesShown || ProgressIsLabel(step)) return;
    std::fprintf(stderr, "%s%s\n", progressPrefix.c_str(), ProgressText(step).c_str());
}

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

std::vector<std::string> MessageLines(const THeadlessUi& ui) {
    std::vector<std::string> lines;
    for (const TNotice& notice : ui.notices)
        if (!NoticeIsError(notice)) lines.push_back(NoticeText(notice));
    lines.insert(lines.end(), ui.statusLines.begin(), ui.statusLines.end());
    for (const TNotice& notice : ui.notices)
        if (NoticeIsError(notice)) lines.push_back("Fehler: " + NoticeText(notice));
    for (const auto& message : ui.messages)
        lines.push_back((message.icon == TMsgIcon::Error ? "Fehler: " : "Hinweis: ") + message.text);
    return lines;
}

void PrintMessages(const THeadlessUi& ui, const std::string& prefix) {
    for (const std::string& line : MessageLines(ui)) std::fprintf(stderr, "%s%s\n", prefix.c_str(), line.c_str());
}

void ClearMessages(THeadlessUi& ui) {
    ui.notices.clear();
    ui.statusLines.clear();
    ui.messages.clear();
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

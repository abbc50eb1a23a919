// The sub-commands of glyphwell-cli. Each takes the arguments after its own
// name and returns the process exit status.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "PdfDocument.h"
#include "ReplacementChecks.h"
#include "PdfWriter.h"

using TCliArgs = std::vector<std::string>;

int CliInfo(const TCliArgs& args);
int CliAddFont(const TCliArgs& args);
// fonts [--json] FILE: pages, font records and decoded images.
int CliFonts(const TCliArgs& args);
// save IN -o OUT [options]: replaces fonts, edits the information and writes a new file.
int CliSave(const TCliArgs& args);
// runs [--json] [--page N] FILE: the text runs of the display list and the
// number of path and image items per page.
int CliRuns(const TCliArgs& args);
// embed IN... [-o OUT | --suffix S] [--rule R]... [--rules FILE] [--strict] [--dry-run] [--json]:
// replaces and embeds every font that is not embedded, input by input.
int CliEmbed(const TCliArgs& args);

// --version: the program's and the libraries' versions on stdout.
int CliVersion();

// Whether progress lines ("3 Seiten gefunden...") reach stderr: when asked
// for with --verbose, or when stderr is a terminal that somebody watches.
// Decided once, before any input is read (embed's worker processes write
// into files).
void SetProgressShown(bool shown);

// Messages and problems are collected and printed by the commands; progress
// lines are printed at once, or dropped, so that scripts get clean output.
class TCliUi : public THeadlessUi {
public:
    void Progress(const TProgress& step) override;
    // Put before each progress line; names the input when there are many.
    std::string progressPrefix;
};

// A document opened without a window: messages are collected, text is
// measured with the same fonts as in the window.
struct TCliDocument {
    TCliDocument();
    ~TCliDocument();
    // Opens the file; the texts of its report join the collected messages
    // and status lines, as the window shows them.
    const TOpenReport& Open(const std::string& path, const TOpenOptions& options = {});
    // The texts of the last open's report (of `path`) join the collected ones.
    void AddOpenTexts(const std::string& path);
    // The exit status the last open's report decides.
    int OpenStatus() const;
    TCliUi ui;
    TPdfDocument doc{ui};
    std::unique_ptr<TTextMeasurer> measurer;
};

// Every notice, status line and message box collected, in the order they
// are printed: notices and memo lines first, then what a window would show
// in message boxes, marked "Fehler: " or "Hinweis: ".
std::vector<std::string> MessageLines(const THeadlessUi& ui);
// Writes them to stderr, each behind `prefix`.
void PrintMessages(const THeadlessUi& ui, const std::string& prefix = {});
// Forgets everything collected so far.
void ClearMessages(THeadlessUi& ui);
// The refusal as a JSON object.
std::string RefusalJson(const TRefusedReplacement& refusal);
// JSON string literal for a UTF-8 text.
std::string JsonString(const std::string& utf8);
// Where the page draws with the font, as JSON: {"content": true},
// {"form": "/Fm0"} or {"annotation": 12} (the annotation's object number).
std::string FontUseJson(const TFontRecord& font);

struct TKeptFormFont;

// On stderr: metadata copied unchanged because it does not parse, and why
// the saved file no longer meets the PDF/A or PDF/X part it claims; each
// line after `prefix`.
void PrintMetadataAndClaims(const TWriteReport& report, const std::string& prefix = {});

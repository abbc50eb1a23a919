// glyphwell-cli save: what "PDF speichern unter..." does, driven by options.
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <optional>

#include "AddedFonts.h"
#include "CliCommands.h"
#include "OpenMessages.h"
#include "RefusalMessages.h"
#include "ContentRewrite.h"
#include "PdfWriter.h"
#include "ReplacementFonts.h"
#include "SaveCommand.h"
#include "SaveMessages.h"

namespace {

const char* const kSaveUsage =
    "Aufruf: glyphwell-cli save EINGABE -o AUSGABE [--add-font \"Familie[:Bold][:Italic]\"]...\n"
    "         [--replace [SEITE:]/ALT=/NEU]... [--version 1.2|1.3|1.4|1.5|1.6|1.7] [--producer T]\n"
    "         [--creator T] [--author T] [--title T] [--subject T] [--keywords T]\n"
    "         [--created JJJJ-MM-TTThh:mm:ss] [--modified JJJJ-MM-TTThh:mm:ss|now] [--no-images]\n"
    "         [--no-embed] [--natural-widths] [--force] [--decrypt] [--json] [--password KENNWORT]\n"
    "  Eine Ersetzung, die Text verlieren würde, wird nicht vorgenommen; dann wird nichts\n"
    "  gespeichert (Rückgabewert 4), mit --force alles Übrige.\n";

struct TReplaceOption {
    int32_t page = 0;  // 1-based; 0 = every page
    std::string oldName;
    std::string newName;
};

struct TSaveOptions {
    std::string input;
    std::string output;
    std::vector<std::string> addFonts;
    std::vector<TReplaceOption> replacements;
    std::optional<int32_t> versionItem;
    std::optional<std::string> texts[6];  // producer, creator, author, title, subject, keywords
    std::optional<std::string> created;
    std::optional<std::string> modified;
    bool readPics = true;
    bool embed = true;
    bool keepWidths = true;
    bool force = false;  // write what can be written when a replacement is refused
    bool json = false;
    bool decrypt = false;
};

int Usage(const std::string& problem) {
    if (!problem.empty()) std::fprintf(stderr, "%s\n", problem.c_str());
    std::fputs(kSaveUsage, stderr);
    return 64;
}

std::optional<TReplaceOption> ParseReplace(const std::string& text) {
    TReplaceOption option;
    std::string rest = text;
    const size_t colon = rest.find(':');
    if (colon != std::string::npos && colon > 0 && rest[0] != '/') {
        const auto page = TryStrToInt(rest.substr(0, colon));
        if (!page || *page < 1) return std::nullopt;
        option.page = *page;
        rest = rest.substr(colon + 1);
    }
    const size_t equals = rest.find('=');
    if (equals == std::string::npos) return std::nullopt;
    option.oldName = Utf8ToCp1252(rest.substr(0, equals));
    option.newName = Utf8ToCp1252(rest.substr(equals + 1));
    if (option.oldName.size() < 2 || option.oldName[0] != '/' || option.newName.size() < 2 ||
        option.newName[0] != '/')
        return std::nullopt;
    return option;
}

// "YYYY-MM-DDThh:mm:ss" (or "now") into a date and time of day.
bool ParseDateTime(const std::string& text, TInfoDateTime& value) {
    TDateTimeValue& date = value.date;
    TDateTimeValue& time = value.time;
    if (text == "now") {
        date = time = NowLocal();
        return true;
    }
    int year, month, day, hour, minute, second;
    char tail;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &year, &month, &day, &hour, &minute, &second,
                    &tail) != 6)
        return false;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59) return false;
    date.year = year;
    date.month = month;
    date.day = day;
    time.hour = hour;
    time.minute = minute;
    time.second = second;
    return true;
}

std::optional<std::string> ParseArgs(const TCliArgs& args, TSaveOptions& options) {
    static const char* const kTextOptions[6] = {"--producer", "--creator", "--author",
                                                "--title",    "--subject", "--keywords"};
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size()) return std::nullopt;
            return args[++i];
        };
        bool known = true;
        if (arg == "--no-images") {
            options.readPics = false;
        } else if (arg == "--no-embed") {
            options.embed = false;
        } else if (arg == "--natural-widths") {
            options.keepWidths = false;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--decrypt") {
            options.decrypt = true;
        } else if (arg == "--force") {
            options.force = true;
        } else if (arg == "-o" || arg == "--add-font" || arg == "--replace" || arg == "--version" ||
                   arg == "--created" || arg == "--modified") {
            const auto v = value();
            if (!v) return arg + " braucht einen Wert";
            if (arg == "-o") {
                options.output = *v;
            } else if (arg == "--add-font") {
                options.addFonts.push_back(*v);
            } else if (arg == "--replace") {
                const auto replace = ParseReplace(*v);
                if (!replace) return "Ungültige Ersetzung: " + *v;
                options.replacements.push_back(*replace);
            } else if (arg == "--version") {
                static const char* const kVersions[] = {"1.2", "1.3", "1.4", "1.5", "1.6", "1.7"};
                const auto* found = std::find(std::begin(kVersions), std::end(kVersions), *v);
                if (found == std::end(kVersions)) return "Ungültige PDF-Version: " + *v;
                options.versionItem = static_cast<int32_t>(found - std::begin(kVersions));
            } else if (arg == "--created") {
                options.created = *v;
            } else {
                options.modified = *v;
            }
        } else {
            known = false;
            for (int k = 0; k < 6; ++k) {
                if (arg != kTextOptions[k]) continue;
                const auto v = value();
                if (!v) return arg + " braucht einen Wert";
                options.texts[k] = *v;
                known = true;
            }
            if (!known && !arg.empty() && arg[0] != '-' && options.input.empty()) {
                options.input = arg;
                known = true;
            }
        }
        if (!known) return "Unbekannte Option: " + arg;
    }
    if (options.input.empty()) return std::string("Keine Eingabedatei angegeben");
    if (options.output.empty()) return std::string("Keine Ausgabedatei angegeben (-o)");
    return std::nullopt;
}

bool AddFonts(TPdfDocument& doc, const std::vector<std::string>& fontArgs, bool quiet) {
    for (const std::string& fontArg : fontArgs) {
        std::string family = fontArg;
        bool bold = false, italic = false;
        for (;;) {
            const size_t colon = family.rfind(':');
            if (colon == std::string::npos) break;
            const std::string style = family.substr(colon + 1);
            if (style == "Bold") bold = true;
            else if (style == "Italic") italic = true;
            else break;
            family.erase(colon);
        }
        const auto resName = AddInstalledFont(doc, family, bold, italic);
        if (!resName) {
            std::fprintf(stderr, "Keine TrueType- oder OpenType-Schriftart gefunden: %s\n", fontArg.c_str());
            return false;
        }
        if (!quiet) std::printf("%s\n", Cp1252ToUtf8(*resName).c_str());
    }
    return true;
}

bool ApplyReplacements(TPdfDocument& doc, const std::vector<TReplaceOption>& replacements) {
    for (const TReplaceOption& option : replacements) {
        int32_t matched = 0;
        for (TFontRecord& font : doc.fontList) {
            if (font.hidden || font.resName != option.oldName) continue;
            if (option.page != 0 && font.pageIndex != option.page - 1) continue;
            // The window offers the page's other fonts and the added fonts only.
            bool offered = false;
            for (const TFontRecord& other : doc.fontList)
                if (other.resName == option.newName && (other.hidden || other.pageIndex == font.pageIndex))
                    offered = true;
            if (!offered) {
                std::fprintf(stderr, "Schriftart %s gibt es auf Seite %d nicht\n",
                             Cp1252ToUtf8(option.newName).c_str(), font.pageIndex + 1);
                return false;
            }
            font.replacementName = option.newName;
            ++matched;
        }
        if (matched == 0) {
            std::fprintf(stderr, "Schriftart %s nicht gefunden\n", Cp1252ToUtf8(option.oldName).c_str());
            return false;
        }
    }
    return true;
}

const char* EmbedStateName(TEmbedState state) {
    switch (state) {
        case TEmbedState::Embedded: return "embedded";
        case TEmbedState::NotWanted: return "not-wanted";
        case TEmbedState::Restricted: return "restricted-licence";
        case TEmbedState::BitmapOnly: return "bitmap-only";
        case TEmbedState::Unreadable: return "unreadable";
    }
    return "";
}

std::string ReplacementsJson(const std::vector<TReplacementReport>& reports) {
    std::string json = "[";
    for (size_t k = 0; k < reports.size(); ++k) {
        const TReplacementReport& r = reports[k];
        json += k ? ", " : "";
        json += "{\"resource\": " + JsonString(Cp1252ToUtf8(r.resName)) + ", \"font\": " + JsonString(r.addedFont) +
                ", \"replaces\": " + JsonString(Cp1252ToUtf8(r.oldFont)) + ", \"pages\": [";
        for (size_t p = 0; p < r.pages.size(); ++p) json += (p ? ", " : "") + std::to_string(r.pages[p]);
        json += "], \"embedded\": ";
        json += r.embed == TEmbedState::Embedded ? "true" : "false";
        json += ", \"embedding\": " + JsonString(EmbedStateName(r.embed));
        json += ", \"keptWidths\": ";
        json += r.keptWidths ? "true" : "false";
        json += ", \"symbolic\": ";
        json += r.symbolic ? "true" : "false";
        json += ", \"missing\": [";
        for (size_t m = 0; m < r.missing.size(); ++m)
            json += (m ? ", " : "") + JsonString(MissingCharactersText({r.missing[m]}));
        json += "]}";
    }
    return json + "]";
}

std::string RefusalsJson(const std::vector<TRefusedReplacement>& refused) {
    std::string json = "[";
    for (size_t k = 0; k < refused.size(); ++k) json += (k ? ", " : "") + RefusalJson(refused[k]);
    return json + "]";
}

// Replacements that would lose text are never made: without --force
// nothing is written, with it everything else is. False: stop (status 4).
bool TakeBackRefused(TPdfDocument& doc, bool force, std::vector<TRefusedReplacement>& refused) {
    refused = RefusedReplacements(doc);
    if (refused.empty()) return true;
    for (const TRefusedReplacement& refusal : refused) std::fprintf(stderr, "%s\n", RefusalLine(refusal).c_str());
    if (!force) {
        std::fprintf(stderr, "%s\n",
                     "Nichts gespeichert. Mit --force werden die übrigen Änderungen gespeichert; diese "
                     "Schriftarten bleiben dann, wie sie sind.");
        return false;
    }
    WithdrawReplacements(doc, refused);
    return true;
}

// What the user must know before trusting the saved file, on stderr.
void PrintReplacementNotices(const std::vector<TReplacementReport>& reports) {
    std::vector<std::string> embedNotices;
    for (const TReplacementReport& report : reports) {
        const std::string embed = EmbedStateNotice(report.addedFont, report.embed);
        bool seen = false;
        for (const std::string& notice : embedNotices) seen = seen || notice == embed;
        if (!embed.empty() && !seen) {
            embedNotices.push_back(embed);
            std::fprintf(stderr, "%s\n", embed.c_str());
        }
        const std::string missing = MissingCharactersNotice(report);
        if (!missing.empty()) std::fprintf(stderr, "Seite %d: %s\n", report.pages.empty() ? 0 : report.pages.front(), missing.c_str());
    }
}

void PrintWriteReport(const TWriteReport& report) {
    for (const std::string& line : WriteReportLines(report)) std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace

int CliSave(const TCliArgs& args) {
    TSaveOptions options;
    if (const auto problem = ParseArgs(args, options)) return Usage(*problem);

    TCliDocument cli;
    TPdfDocument& doc = cli.doc;
    TOpenOptions openOptions;
    openOptions.readPics = options.readPics;
    cli.Open(options.input, openOptions);
    if (const int status = cli.OpenStatus(); status != 0) {
        PrintMessages(cli.ui);
        return status;
    }
    // Of the open's lines only what its report says (the repair).
    for (const std::string& line : OpenTexts(doc.LastOpen(), options.input).statusLines)
        std::fprintf(stderr, "%s\n", line.c_str());
    ClearMessages(cli.ui);
    if (const int refused = SaveRefused(doc, options.decrypt)) return refused;

    if (!AddFonts(doc, options.addFonts, options.json)) return 1;
    for (TFontRecord& font : doc.fontList) {
        if (!font.hidden) continue;
        font.embed = options.embed;
        font.keepWidths = options.keepWidths;
    }
    if (!ApplyReplacements(doc, options.replacements)) return 1;
    std::vector<TRefusedReplacement> refused;
    if (!TakeBackRefused(doc, options.force, refused)) return 4;
    const std::vector<TReplacementReport> reports = DescribeReplacements(doc);
    PrintReplacementNotices(reports);
    TWriteOptions writeOptions;
    writeOptions.decrypt = options.decrypt;
    TInfoEdits& edits = writeOptions.info.emplace(UneditedInfo(doc.info));
    std::string* const fields[6] = {&edits.producer, &edits.creator, &edits.author,
                                    &edits.title,    &edits.subject, &edits.keywords};
    for (int k = 0; k < 6; ++k)
        if (options.texts[k]) *fields[k] = *options.texts[k];
    if (options.created && !ParseDateTime(*options.created, edits.creation.emplace()))
        return Usage("Ungültiges Datum: " + *options.created);
    if (options.modified && !ParseDateTime(*options.modified, edits.modification.emplace()))
        return Usage("Ungültiges Datum: " + *options.modified);

    cli.ui.saveFileName = options.output;
    if (options.versionItem) cli.ui.versionItem = *options.versionItem;

    // The two halves of SavePdfCommand, so that the messages of the
    // rewriting and those of the save and the re-reading can be told apart.
    TellUndecodablePages(doc);
    PrintMessages(cli.ui);
    ClearMessages(cli.ui);
    const int32_t opensBefore = cli.ui.openFinishedCount;
    TWriteReport report;
    const bool written = SavePDFNew(doc, &report, writeOptions, openOptions);
    if (!written) {
        PrintMessages(cli.ui);
        return 4;
    }
    if (cli.ui.openFinishedCount == opensBefore || cli.OpenStatus() != 0) {
        cli.AddOpenTexts(options.output);
        PrintMessages(cli.ui);
        std::fprintf(stderr, "Die gespeicherte Datei %s lässt sich nicht wieder öffnen\n", options.output.c_str());
        return 5;
    }
    PrintWriteReport(report);
    if (options.json)
        std::printf("{\"output\": %s, \"pages\": %d, \"replacements\": %s, \"refused\": %s}\n",
                    JsonString(options.output).c_str(), doc.pageList.Count(), ReplacementsJson(reports).c_str(),
                    RefusalsJson(refused).c_str());
    else
        std::printf("Gespeichert: %s (%d Seiten)\n", options.output.c_str(), doc.pageList.Count());
    return 0;
}

// glyphwell-cli embed: every font that is not embedded replaced by an
// installed face (by rule or fontconfig's proposal) and embedded, over
// many files at once.
#include <malloc.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <variant>

#include "CliCommands.h"
#include "ContentRewrite.h"
#include "FontProgram.h"
#include "MissingFonts.h"
#include "PdfWriter.h"
#include "SaveCommand.h"
#include "NoticeTexts.h"
#include "RefusalMessages.h"

namespace {

constexpr int kNoGoodMatch = 6;

const char* const kEmbedUsage =
    "Aufruf: glyphwell-cli embed EINGABE... [-o AUSGABE | --suffix -embedded] [--rule REGEL]...\n"
    "         [--rules DATEI] [--strict] [--dry-run] [--json]\n"
    "  REGEL: ALT[,SCHNITT]=FAMILIE[:SCHNITT], z. B. \"Times-*=Liberation Serif\",\n"
    "         \"Arial,Bold=Liberation Sans:Bold\"; SCHNITT: Regular, Bold, Italic, BoldItalic\n"
    "  Ohne metrisch passende Schriftart wird die ähnlichste installierte eingebettet;\n"
    "  mit --strict bleibt eine solche Schriftart uneingebettet.\n"
    "  Mit mehreren Eingaben muss -o ein Ordner sein.\n"
    "Rückgabewert: 0 alles eingebettet, 6 wenn eine Schriftart nur durch eine ähnliche ersetzt\n"
    "wurde oder uneingebettet bleibt oder eine Ersetzung Text verlieren würde (die Datei wird\n"
    "mit den übrigen geschrieben), 1, 2, 3 wie beim Öffnen, 4 nicht geschrieben, 5 lässt sich\n"
    "nicht wieder öffnen.\n";

struct TEmbedOptions {
    std::vector<std::string> inputs;
    std::string output;
    std::string suffix = "-embedded";
    std::vector<TReplacementRule> rules;
    bool dryRun = false;
    bool json = false;
    bool strict = false;  // no substitute for a font without a metric-compatible face
};

int Usage(const std::string& problem) {
    if (!problem.empty()) std::fprintf(stderr, "%s\n", problem.c_str());
    std::fputs(kEmbedUsage, stderr);
    return 64;
}

std::optional<std::string> ParseArgs(const TCliArgs& args, TEmbedOptions& options) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool takesValue = arg == "-o" || arg == "--suffix" || arg == "--rule" || arg == "--rules";
        if (takesValue && i + 1 >= args.size()) return arg + " braucht einen Wert";
        if (arg == "--dry-run") {
            options.dryRun = true;
        } else if (arg == "--strict") {
            options.strict = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "-o") {
            options.output = args[++i];
        } else if (arg == "--suffix") {
            options.suffix = args[++i];
            if (options.suffix.empty() || options.suffix.find('/') != std::string::npos)
                return "Ungültige Endung: " + options.suffix;
        } else if (arg == "--rule") {
            auto rule = ParseRule(args[++i]);
            if (const auto* error = std::get_if<TRuleError>(&rule))
                return "Ungültige Regel \"" + args[i] + "\": " + RuleErrorText(*error);
            options.rules.push_back(std::get<TReplacementRule>(rule));
        } else if (arg == "--rules") {
            auto rules = LoadRulesFile(args[++i]);
            if (const auto* error = std::get_if<TRuleError>(&rules)) {
                if (error->line == 0) return RuleErrorText(*error);
                return args[i] + ", Zeile " + std::to_string(error->line) + ": " + RuleErrorText(*error);
            }
            for (const TReplacementRule& rule : std::get<std::vector<TReplacementRule>>(rules))
                options.rules.push_back(rule);
        } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
            return "Unbekannte Option: " + arg;
        } else {
            options.inputs.push_back(arg);
        }
    }
    if (options.inputs.empty()) return std::string("Keine Eingabedatei angegeben");
    return std::nullopt;
}

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Beside the input with the suffix before ".pdf"; into the folder -o names
// when there are several inputs.
std::string OutputPath(const TEmbedOptions& options, const std::string& input) {
    if (!options.output.empty() && !IsDirectory(options.output)) return options.output;
    std::string name = options.output.empty() ? input : options.output + "/" + BaseName(input);
    if (!options.output.empty()) return name;
    const size_t dot = name.rfind('.');
    const bool hasExtension = dot != std::string::npos && name.find('/', dot) == std::string::npos;
    if (!hasExtension) return name + options.suffix;
    return name.substr(0, dot) + options.suffix + name.substr(dot);
}

std::string PagesJson(const std::vector<int32_t>& pages) {
    std::string json = "[";
    for (size_t i = 0; i < pages.size(); ++i) json += (i ? ", " : "") + std::to_string(pages[i]);
    return json + "]";
}

const char* KindName(TChoiceKind kind) {
    switch (kind) {
        case TChoiceKind::Rule: return "rule";
        case TChoiceKind::Proposal: return "proposal";
        case TChoiceKind::Substitute: return "substitute";
        case TChoiceKind::NoGoodMatch: return "no-good-match";
        case TChoiceKind::MissingFace: return "family-not-installed";
        case TChoiceKind::LeftAlone: return "left-alone";
    }
    return "";
}

std::string StyleSuffix(const TFontStyle& style) {
    if (style.bold && style.italic) return ":Bold:Italic";
    if (style.bold) return ":Bold";
    if (style.italic) return ":Italic";
    return "";
}

// What was (or would be) done with one font, for both report forms.
struct TFontOutcome {
    const TDocumentFont* font = nullptr;
    TFontChoice choice;
    std::optional<TChoiceCheck> check;
    bool embedded = true;  // false: the face's licence forbids embedding
    // Pages on which the font stays: their content could not be read to its
    // end and is copied as it is, and the font's object could not be
    // replaced in place.
    std::vector<int32_t> keptPages;
    // The pages where the replacement would lose text and is not made.
    std::optional<TRefusedReplacement> refused;
};

// Some font only approximated, left on some page, or left without a program.
bool Approximated(const TFontOutcome& outcome) {
    const TChoiceKind kind = outcome.choice.kind;
    return kind == TChoiceKind::Substitute || kind == TChoiceKind::NoGoodMatch || kind == TChoiceKind::MissingFace ||
           !outcome.keptPages.empty() || outcome.refused;
}

std::string FaceText(const TInstalledFace& face) { return face.family + StyleSuffix(face.style); }

std::string OutcomeJson(const TFontOutcome& outcome) {
    const TDocumentFont& font = *outcome.font;
    const TFontChoice& choice = outcome.choice;
    std::string json = "{\"font\": " + JsonString(Cp1252ToUtf8(font.baseFont)) + ", \"pages\": " + PagesJson(font.pages) +
                       ", \"action\": " + JsonString(KindName(choice.kind));
    if (font.formDefault) json += ", \"formDefault\": true";
    if (!choice.rule.empty()) json += ", \"rule\": " + JsonString(choice.rule);
    if (choice.face) {
        json += std::string(choice.Replaces() ? ", \"replacement\": " : ", \"fallback\": ") +
                JsonString(FaceText(*choice.face));
    }
    if (choice.Replaces()) {
        json += ", \"face\": " + JsonString(FaceText(*choice.face));
        json += std::string(", \"metricCompatible\": ") + (choice.metricCompatible ? "true" : "false");
        json += std::string(", \"embedded\": ") + (outcome.embedded ? "true" : "false");
        if (outcome.check) {
            json += std::string(", \"keptWidths\": ") + (outcome.check->keepsWidths ? "true" : "false");
            json += ", \"missing\": [";
            for (size_t m = 0; m < outcome.check->missing.size(); ++m)
                json += (m ? ", " : "") + JsonString(MissingCharactersText({outcome.check->missing[m]}));
            json += "]";
        }
        if (!outcome.keptPages.empty()) json += ", \"keptOnPages\": " + PagesJson(outcome.keptPages);
    }
    if (choice.kind == TChoiceKind::LeftAlone)
        json += ", \"reason\": " + JsonString(font.type3 ? "type3" : font.composite ? "composite" : "embedded");
    if (outcome.refused) json += ", \"refused\": " + RefusalJson(*outcome.refused);
    return json + "}";
}

// "(Seite 3)", "(Seiten 1-4, Standardschrift des Formulars)".
std::string WhereText(const TDocumentFont& font) {
    std::string where;
    if (!font.pages.empty()) where = std::string(font.pages.size() == 1 ? "Seite " : "Seiten ") + PagesText(font.pages);
    if (font.formDefault) where += std::string(where.empty() ? "" : ", ") + "Standardschrift des Formulars";
    return "(" + where + ")";
}

std::string OutcomeLine(const TFontOutcome& outcome) {
    const TDocumentFont& font = *outcome.font;
    std::string line = "  " + Cp1252ToUtf8(font.baseFont) + " " + WhereText(font) + ": ";
    const TFontChoice& choice = outcome.choice;
    switch (choice.kind) {
        case TChoiceKind::Rule:
        case TChoiceKind::Proposal:
        case TChoiceKind::Substitute:
            line += choice.kind == TChoiceKind::Rule       ? FaceText(*choice.face) + " (Regel " + choice.rule + ")"
                    : choice.kind == TChoiceKind::Proposal ? FaceText(*choice.face) + " (Vorschlag)"
                                                           : "ähnliche Schriftart: " + FaceText(*choice.face);
            if (!outcome.embedded) line += ", nicht eingebettet (Lizenz)";
            if (outcome.check && !outcome.check->keepsWidths) line += ", Breiten der neuen Schriftart";
            if (outcome.check && !outcome.check->missing.empty())
                line += ", fehlende Zeichen: " + MissingCharactersText(outcome.check->missing);
            if (!outcome.keptPages.empty())
                line += std::string(", bleibt auf Seite") + (outcome.keptPages.size() == 1 ? " " : "n ") +
                        PagesText(outcome.keptPages) + " (Seiteninhalt beschädigt)";
            if (outcome.refused) line += "; " + RefusalLine(*outcome.refused);
            break;
        case TChoiceKind::NoGoodMatch:
            line += "keine gute Entsprechung";
            if (choice.face) line += " (nur " + choice.face->family + ")";
            break;
        case TChoiceKind::MissingFace:
            line += "Regel " + choice.rule + ": Schriftart nicht installiert";
            break;
        case TChoiceKind::LeftAlone:
            line += font.type3       ? "Type 3, bleibt"
                    : font.composite ? "Type 0, bleibt"
                                     : "eingebettet, bleibt";
            break;
    }
    return line;
}

// The pages on which each replaced font stays (see FontsKeptOnCopiedPages).
void NoteKeptPages(const TPdfDocument& doc, const std::vector<TKeptFormFont>& kept, std::vector<TFontOutcome>& outcomes) {
    for (TFontOutcome& outcome : outcomes) {
        if (!outcome.choice.Replaces()) continue;
        for (int32_t index : outcome.font->records) {
            const TFontRecord& record = doc.fontList[static_cast<size_t>(index)];
            const bool stays = std::any_of(kept.begin(), kept.end(), [&record](const TKeptFormFont& font) {
                return font.pageIndex == record.pageIndex && font.resName == record.resName;
            });
            if (stays) outcome.keptPages.push_back(record.pageIndex + 1);
        }
        std::sort(outcome.keptPages.begin(), outcome.keptPages.end());
        outcome.keptPages.erase(std::unique(outcome.keptPages.begin(), outcome.keptPages.end()), outcome.keptPages.end());
    }
}

bool EmbedAllowed(const TInstalledFace& face) {
    const auto info = ReadFontProgramInfo(face.path, face.faceIndex);
    return info && info->permission != TEmbedPermission::Restricted &&
           info->permission != TEmbedPermission::BitmapOnly;
}

int Report(const TEmbedOptions& options, const std::string& input, const std::string& output, int status,
           int32_t pages, const std::vector<TFontOutcome>& outcomes) {
    if (options.json) {
        std::string json = "{\"input\": " + JsonString(input) + ", \"status\": " + std::to_string(status);
        if (!options.dryRun && (status == 0 || status == kNoGoodMatch)) json += ", \"output\": " + JsonString(output);
        if (pages >= 0) json += ", \"pages\": " + std::to_string(pages);
        json += ", \"fonts\": [";
        for (size_t k = 0; k < outcomes.size(); ++k) json += (k ? ", " : "") + OutcomeJson(outcomes[k]);
        std::printf("%s]}", json.c_str());
        return status;
    }
    std::printf("%s", input.c_str());
    if (!options.dryRun && (status == 0 || status == kNoGoodMatch)) std::printf(" -> %s", output.c_str());
    std::printf("\n");
    for (const TFontOutcome& outcome : outcomes) std::printf("%s\n", OutcomeLine(outcome).c_str());
    return status;
}

int EmbedOne(const TEmbedOptions& options, const std::string& input) {
    const std::string output = OutputPath(options, input);
    if (output == input && options.output != input) {
        std::fprintf(stderr, "%s: die Ausgabe würde die Eingabe überschreiben\n", input.c_str());
        return Report(options, input, output, 4, -1, {});
    }
    TCliDocument cli;
    cli.ui.progressPrefix = input + ": ";
    TPdfDocument& doc = cli.doc;
    TOpenOptions openOptions;
    openOptions.readPics = false;
    cli.Open(input, openOptions);
    if (const int status = cli.OpenStatus(); status != 0) {
        PrintMessages(cli.ui, input + ": ");  // with many inputs each line says which file
        return Report(options, input, output, status, -1, {});
    }
    ClearMessages(cli.ui);
    if (const int refused = SaveRefused(doc, false); refused != 0 && !options.dryRun)
        return Report(options, input, output, refused, -1, {});

    const std::vector<TDocumentFont> fonts = DocumentFonts(doc);
    std::vector<TFontChoice> choices;
    std::vector<TFontOutcome> outcomes;
    for (const TDocumentFont& font : fonts) {
        TFontOutcome outcome{&font, ChooseReplacement(font, options.rules, !options.strict), std::nullopt, true, {},
                             std::nullopt};
        if (outcome.choice.Replaces()) {
            outcome.check = CheckChoice(doc, font, *outcome.choice.face);
            outcome.embedded = EmbedAllowed(*outcome.choice.face);
        }
        choices.push_back(outcome.choice);
        outcomes.push_back(std::move(outcome));
    }
    ApplyChoices(doc, fonts, choices);
    // A page that shows characters nothing names keeps its old font: the
    // file is written with the others, as for a font without a good match.
    const std::vector<TRefusedReplacement> refused = RefusedReplacements(doc);
    WithdrawReplacements(doc, refused);
    for (const TRefusedReplacement& refusal : refused) {
        for (TFontOutcome& outcome : outcomes) {
            const std::vector<int32_t>& records = outcome.font->records;
            if (std::find(records.begin(), records.end(), refusal.records.front()) != records.end())
                outcome.refused = refusal;
        }
    }
    const auto status = [&outcomes] {
        const bool approximated = std::any_of(outcomes.begin(), outcomes.end(), Approximated);
        return approximated ? kNoGoodMatch : 0;
    };
    if (options.dryRun) {
        NoteKeptPages(doc, FontsKeptOnCopiedPages(doc), outcomes);
        return Report(options, input, output, status(), doc.pageList.Count(), outcomes);
    }

    TellUndecodablePages(doc);
    // Known before the save, which reads the written file into `doc`.
    NoteKeptPages(doc, FontsKeptOnCopiedPages(doc), outcomes);
    cli.ui.saveFileName = output;
    const int32_t opensBefore = cli.ui.openFinishedCount;
    TWriteReport report;
    if (!SavePDFNew(doc, &report, {}, openOptions)) {
        PrintMessages(cli.ui, input + ": ");
        return Report(options, input, output, 4, -1, outcomes);
    }
    PrintMetadataAndClaims(report, input + ": ");
    // The re-open's progress lines are no news; its errors are.
    if (cli.ui.openFinishedCount == opensBefore || cli.OpenStatus() != 0) {
        cli.AddOpenTexts(output);
        PrintMessages(cli.ui, input + ": ");
        std::fprintf(stderr, "Die gespeicherte Datei %s lässt sich nicht wieder öffnen\n", output.c_str());
        return Report(options, input, output, 5, -1, outcomes);
    }
    return Report(options, input, output, status(), doc.pageList.Count(), outcomes);
}

// The overall status: the first failure in input order, else 6 when some
// font found no good match.
int Combined(const std::vector<int>& statuses) {
    for (int status : statuses)
        if (status != 0 && status != kNoGoodMatch) return status;
    for (int status : statuses)
        if (status == kNoGoodMatch) return status;
    return 0;
}

struct TChild {
    pid_t pid = -1;
    FILE* out = nullptr;
    FILE* err = nullptr;
    int status = -1;
    bool done = false;
};

void CopyAndClose(FILE*& from, FILE* to) {
    if (!from) return;
    std::rewind(from);
    char buffer[8192];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, from)) > 0) std::fwrite(buffer, 1, got, to);
    std::fclose(from);
    from = nullptr;
}

// A child lives for one input and gives all its memory back when it ends.
// Handing freed memory back to the system while it runs costs more than the
// work itself on small files (every return flushes the processor's address
// caches), so the child keeps what it freed for its next allocations.
void KeepFreedMemory() {
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
}

// Each input in a process of its own: the documents share nothing, and the
// reader's and fontconfig's state needs no locks that way. Each child's
// output waits in a temporary file until the inputs before it are printed.
std::vector<int> RunInParallel(const TEmbedOptions& options) {
    const size_t count = options.inputs.size();
    const long cores = sysconf(_SC_NPROCESSORS_ONLN);
    const size_t slots = cores > 0 ? static_cast<size_t>(cores) : 1;
    PrepareFontMatching();
    std::vector<TChild> children(count);
    std::map<pid_t, size_t> running;
    size_t started = 0, printed = 0;
    std::fflush(stdout);
    std::fflush(stderr);
    while (printed < count) {
        while (started < count && running.size() < slots) {
            TChild& child = children[started];
            child.out = std::tmpfile();
            child.err = std::tmpfile();
            const pid_t pid = child.out && child.err ? fork() : -1;
            if (pid == 0) {
                KeepFreedMemory();
                dup2(fileno(child.out), STDOUT_FILENO);
                dup2(fileno(child.err), STDERR_FILENO);
                const int status = EmbedOne(options, options.inputs[started]);
                std::fflush(stdout);
                std::fflush(stderr);
                _exit(status);
            }
            if (pid < 0) {
                // No process to spare: this input runs here.
                child.status = EmbedOne(options, options.inputs[started]);
                std::fflush(stdout);
                child.done = true;
                if (child.out) std::fclose(child.out);
                if (child.err) std::fclose(child.err);
                child.out = child.err = nullptr;
            } else {
                child.pid = pid;
                running.emplace(pid, started);
            }
            ++started;
        }
        while (printed < count && children[printed].done) {
            if (options.json && printed > 0) std::fputs(",\n", stdout);
            CopyAndClose(children[printed].out, stdout);
            CopyAndClose(children[printed].err, stderr);
            std::fflush(stdout);
            std::fflush(stderr);
            ++printed;
        }
        if (running.empty()) continue;
        int raw = 0;
        const pid_t pid = waitpid(-1, &raw, 0);
        if (pid < 0) break;
        const auto found = running.find(pid);
        if (found == running.end()) continue;
        TChild& child = children[found->second];
        child.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 2;
        child.done = true;
        running.erase(found);
    }
    std::vector<int> statuses;
    for (const TChild& child : children) statuses.push_back(child.status);
    return statuses;
}

}  // namespace

int CliEmbed(const TCliArgs& args) {
    TEmbedOptions options;
    if (const auto problem = ParseArgs(args, options)) return Usage(*problem);
    if (options.inputs.size() > 1 && !options.output.empty() && !IsDirectory(options.output))
        return Usage("Mit mehreren Eingaben muss -o ein vorhandener Ordner sein");
    if (options.json) std::fputs("[\n", stdout);
    std::vector<int> statuses;
    if (options.inputs.size() == 1) {
        statuses.push_back(EmbedOne(options, options.inputs.front()));
    } else {
        statuses = RunInParallel(options);
    }
    if (options.json) std::fputs("\n]\n", stdout);
    return Combined(statuses);
}

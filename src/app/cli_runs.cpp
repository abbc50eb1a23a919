// glyphwell-cli runs: the display list as the page view and the pointer tool
// see it, one line per text run.
#include <charconv>
#include <cmath>
#include <cstdio>

#include "CliCommands.h"
#include "ContentInterpreter.h"

namespace {

const char* const kRunsUsage = "Aufruf: glyphwell-cli runs [--json] [--page N] DATEI\n";

// Shortest text that reads back as the same double; JSON has no infinity.
std::string JsonNumber(double value) {
    if (!std::isfinite(value)) return "null";
    char buf[32];
    const auto result = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, result.ptr);
}

// Control characters of a run (from "\n" escapes, for example) would break
// the one-line-per-run layout.
std::string Printable(const std::string& utf8) {
    std::string out;
    for (const unsigned char ch : utf8) {
        if (ch == '\\') {
            out += "\\\\";
        } else if (ch < 0x20 || ch == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", ch);
            out += buf;
        } else {
            out += static_cast<char>(ch);
        }
    }
    return out;
}

// Where the run's font record is used, as `fonts --json` says it; null for
// a font name that led to no record.
std::string UsedInJson(const TPdfDocument& doc, const TDisplayItem& run) {
    if (run.fontIndex < 0 || run.fontIndex >= doc.fontList.Count()) return "null";
    return FontUseJson(doc.fontList[static_cast<size_t>(run.fontIndex)]);
}

struct TRunsOptions {
    bool json = false;
    int32_t page = 0;  // 0: every page
    std::string file;
};

bool ParseOptions(const TCliArgs& args, TRunsOptions& options) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--json") {
            options.json = true;
        } else if (args[i] == "--page" && i + 1 < args.size()) {
            const auto page = TryStrToInt(args[++i]);
            if (!page || *page < 1) return false;
            options.page = *page;
        } else if (options.file.empty() && !args[i].empty() && args[i][0] != '-') {
            options.file = args[i];
        } else {
            return false;
        }
    }
    return !options.file.empty();
}

}  // namespace

int CliRuns(const TCliArgs& args) {
    TRunsOptions options;
    if (!ParseOptions(args, options)) {
        std::fputs(kRunsUsage, stderr);
        return 64;
    }
    TCliDocument cli;
    TPdfDocument& doc = cli.doc;
    cli.Open(options.file);
    // An encrypted file that did not open: its message is all there is.
    if (cli.OpenStatus() == 3) {
        PrintMessages(cli.ui);
        return 3;
    }

    const int32_t pages = doc.pageList.Count();
    const int32_t firstPage = options.page > 0 ? options.page : 1;
    const int32_t lastPage = options.page > 0 ? std::min(options.page, pages) : pages;
    const int32_t shown = lastPage >= firstPage ? lastPage - firstPage + 1 : 0;
    std::vector<int32_t> paths(static_cast<size_t>(shown), 0);
    std::vector<int32_t> images(static_cast<size_t>(shown), 0);

    std::string runs;
    // Page by page: each page is interpreted when its turn comes.
    for (int32_t pageNo = firstPage; pageNo <= lastPage; ++pageNo) {
        EnsurePageItems(doc, pageNo);
        for (const int32_t pos : ItemsOfPage(doc, pageNo)) {
            const TDisplayItem& item = doc.displayList[static_cast<size_t>(pos)];
            const auto slot = static_cast<size_t>(item.pageNo - firstPage);
            if (item.isPath) {
                ++paths[slot];
                continue;
            }
            if (item.isImage) {
                ++images[slot];
                continue;
            }
            const std::string& text = item.text;  // UTF-8 already
            if (options.json) {
                if (!runs.empty()) runs += ",\n  ";
                runs += "{\"page\": " + std::to_string(item.pageNo) + ", \"font\": " +
                        JsonString(Cp1252ToUtf8(doc.FontNameOf(item))) + ", \"size\": " + JsonNumber(item.fontSize) +
                        ", \"x\": " + JsonNumber(item.x) + ", \"y\": " + JsonNumber(item.y) +
                        ", \"width\": " + JsonNumber(item.runWidth) + ", \"usedIn\": " + UsedInJson(doc, item) +
                        ", \"text\": " + JsonString(text) + "}";
            } else {
                char numbers[160];
                std::snprintf(numbers, sizeof numbers, "\t%.2f\t%.2f\t%.2f\t%.2f\t", item.fontSize, item.x, item.y,
                              item.runWidth);
                runs += std::to_string(item.pageNo) + "\t" + Printable(Cp1252ToUtf8(doc.FontNameOf(item))) + numbers +
                        Printable(text) + "\n";
            }
        }
    }

    if (options.json) {
        std::string pathCounts, imageCounts;
        for (int32_t i = 0; i < shown; ++i) {
            const char* separator = i > 0 ? ", " : "";
            pathCounts.append(separator).append(std::to_string(paths[static_cast<size_t>(i)]));
            imageCounts.append(separator).append(std::to_string(images[static_cast<size_t>(i)]));
        }
        std::printf("{\"pages\": %d,\n \"runs\": [%s%s],\n \"paths\": [%s],\n \"images\": [%s]}\n", pages,
                    runs.empty() ? "" : "\n  ", runs.c_str(), pathCounts.c_str(), imageCounts.c_str());
    } else {
        std::fputs(runs.c_str(), stdout);
        for (int32_t i = 0; i < shown; ++i)
            std::printf("Seite %d: %d Pfade, %d Bilder\n", firstPage + i, paths[static_cast<size_t>(i)],
                        images[static_cast<size_t>(i)]);
    }
    PrintMessages(cli.ui);
    return cli.OpenStatus();
}

// glyphwell-bench FILE: opens a PDF file without a window, as the command-line
// tool does, and prints one "name value unit" line per figure: the time of
// each stage of the open, the peak memory, the sizes of the document model,
// and whether interpretation stays flat over the pages (the time per page
// and the resident memory of the first and the second half of the pages).
// glyphwell-bench --window ABLAUF FILE drives the main window instead (see
// bench_window.cpp).
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "AddedFonts.h"
#include "ContentInterpreter.h"
#include "ContentRewrite.h"
#include "FontMeasurer.h"
#include "PdfDocument.h"
#include "PdfWriter.h"
#include "bench_memory.h"

#ifdef GW_HAVE_VIEW
#include <QApplication>
#include <cstdlib>

#include "bench_paint.h"
#endif

namespace {

using Clock = std::chrono::steady_clock;

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

void Line(const char* name, double value, const char* unit) { std::printf("%s %.6g %s\n", name, value, unit); }

// Per page interpretation time and the resident memory when the page was
// done, recorded by a wrapper around the real interpreter.
struct TPageSample {
    double seconds = 0;
    double rssMiB = 0;
};

void PrintHalves(const std::vector<TPageSample>& samples) {
    if (samples.size() < 2) return;
    const size_t half = samples.size() / 2;
    double first = 0, second = 0;
    for (size_t i = 0; i < half; ++i) first += samples[i].seconds;
    for (size_t i = half; i < samples.size(); ++i) second += samples[i].seconds;
    const double firstPerPage = first / static_cast<double>(half);
    const double secondPerPage = second / static_cast<double>(samples.size() - half);
    Line("interpret_per_page_first_half", firstPerPage * 1e3, "ms");
    Line("interpret_per_page_second_half", secondPerPage * 1e3, "ms");
    if (firstPerPage > 0) Line("interpret_half_ratio", secondPerPage / firstPerPage, "x");
    Line("rss_after_first_page", samples.front().rssMiB, "MiB");
    Line("rss_after_first_half", samples[half - 1].rssMiB, "MiB");
    Line("rss_after_last_page", samples.back().rssMiB, "MiB");
}

}  // namespace

// One save without the re-reading at the version of `versionItem`; prints
// its stages under `prefix` and returns the total time and the processor
// time of the writing.
struct TSaveTimes {
    double total = 0;
    double writeCpu = 0;
};
TSaveTimes SaveStage(TPdfDocument& doc, int32_t versionItem, const std::string& prefix) {
    const auto rewriteStart = Clock::now();
    TellUndecodablePages(doc);
    const double rewrite = std::chrono::duration<double>(Clock::now() - rewriteStart).count();
    const std::string out = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") +
                            "/glyphwell-bench-" + std::to_string(getpid()) + ".pdf";
    const auto writeStart = Clock::now();
    const double writeCpuStart = ProcessCpuSeconds();
    const TWriteOutcome outcome = WritePdfFile(doc, out, versionItem);
    const double write = std::chrono::duration<double>(Clock::now() - writeStart).count();
    const double writeCpu = ProcessCpuSeconds() - writeCpuStart;
    Line((prefix + "_rewrite").c_str(), rewrite, "s");
    Line((prefix + "_write").c_str(), write, "s");
    Line((prefix + "_write_cpu").c_str(), writeCpu, "s");
    Line((prefix + "_size").c_str(), static_cast<double>(std::filesystem::file_size(out)) / 1048576.0, "MiB");
    Line((prefix + "_total").c_str(), rewrite + write, "s");
    if (outcome.result != TWriteResult::Written) std::fprintf(stderr, "Speichern: %s\n", outcome.errorText.c_str());
    std::remove(out.c_str());
    return {rewrite + write, writeCpu};
}

namespace {

void PrintOpenFigures(const TPdfDocument& doc, double openCpu) {
    const TOpenTimings& t = doc.timings;
    Line("file_read", t.fileRead, "s");
    Line("xref", t.xref, "s");
    Line("pages", t.pages, "s");
    Line("fonts", t.fonts, "s");
    Line("images", t.images, "s");
    Line("content_decode", t.contentDecode, "s");
    Line("total", t.total, "s");
    // Processor time of the open: comparable between runs on a busy machine.
    Line("total_cpu", openCpu, "s");
    Line("peak_rss", PeakRssMiB(), "MiB");
    Line("page_count", doc.pageList.Count(), "pages");
    Line("font_count", doc.fontList.Count(), "fonts");
    Line("image_count", doc.imageList.Count(), "images");
}

// The open interprets nothing: every page in turn (or the first and the
// last), as painting them all or "runs" does, within the display list's
// budget. Returns the page with the most items.
int InterpretPages(TPdfDocument& doc, bool firstLast) {
    std::vector<TPageSample> samples;
    // A page's interpretation (its content read and run), when it ran.
    const auto interpretSampled = [&](int32_t pageNo) {
        const double before = doc.timings.interpretation;
        EnsurePageItems(doc, pageNo);
        if (doc.timings.interpretation == before) return;
        samples.push_back({doc.timings.interpretation - before, 0});
        // Reading /proc costs about as much as a small page: sample sparsely.
        if (samples.size() % 50 == 1 || samples.size() % 50 == 0) samples.back().rssMiB = CurrentRssMiB();
    };
    int64_t items = 0, runs = 0, characters = 0;
    int densestPage = 1;
    size_t densestItems = 0;
    const double interpretedAtOpen = doc.timings.interpretation;
    const int32_t pageCount = doc.pageList.Count();
    for (int32_t pageNo = 1; pageNo <= pageCount; ++pageNo) {
        if (firstLast && pageNo > 1 && pageNo < pageCount) continue;
        interpretSampled(pageNo);
        const std::vector<int32_t>& positions = ItemsOfPage(doc, pageNo);
        if (positions.size() > densestItems) densestItems = positions.size(), densestPage = pageNo;
        for (const int32_t pos : positions) {
            const TDisplayItem& item = doc.displayList[static_cast<size_t>(pos)];
            ++items;
            if (item.isPath || item.isImage) continue;
            ++runs;
            characters += static_cast<int64_t>(item.advances.size());
        }
    }
    Line("interpretation", doc.timings.interpretation - interpretedAtOpen, "s");
    Line("item_count", static_cast<double>(items), "items");
    Line("display_list_kept", static_cast<double>(doc.shownPagesBytes) / 1048576.0, "MiB");
    Line("display_item_size", static_cast<double>(sizeof(TDisplayItem)), "bytes");
    if (doc.displayList.Count() > 0)
        Line("display_item_bytes_kept", static_cast<double>(doc.shownPagesBytes) / doc.displayList.Count(), "bytes");
    Line("peak_rss_after_interpretation", PeakRssMiB(), "MiB");
    double contentBytes = 0, imageBytes = 0;
    // Read again whenever a page is interpreted or saved; not held.
    for (const TPageRecord& page : doc.pageList) contentBytes += std::max(page.contentLength, 0);
    imageBytes = static_cast<double>(doc.imageBitmaps.Bytes());
    Line("file_size", static_cast<double>(doc.SourceSize()) / 1048576.0, "MiB");
    Line("decoded_content", contentBytes / 1048576.0, "MiB");
    Line("decoded_images", imageBytes / 1048576.0, "MiB");
    Line("text_run_count", static_cast<double>(runs), "runs");
    Line("character_count", static_cast<double>(characters), "characters");
    // Make the sampled memory of the halves comparable: take the nearest
    // sample at or before each point.
    double lastRss = 0;
    for (TPageSample& sample : samples) {
        if (sample.rssMiB > 0) lastRss = sample.rssMiB;
        else sample.rssMiB = lastRss;
    }
    PrintHalves(samples);
    return densestPage;
}

// Saving as "PDF speichern unter..." does it, without the re-reading:
// rewriting every page content, then writing the file beside /tmp. First
// with nothing replaced, then with the first font of every page replaced by
// an embedded Liberation Sans.
void SaveStages(TPdfDocument& doc, int32_t versionItem) {
    const double plainSave = SaveStage(doc, versionItem, "save").total;
    // The classic table of PDF 1.4 and the compact form of 1.5, one after
    // the other on the same document.
    const TSaveTimes classicSave = SaveStage(doc, 2, "save_v14");
    const TSaveTimes compactSave = SaveStage(doc, 3, "save_v15");
    if (classicSave.total > 0) Line("save_v15_ratio", compactSave.total / classicSave.total, "x");
    if (classicSave.writeCpu > 0) Line("save_v15_write_cpu_ratio", compactSave.writeCpu / classicSave.writeCpu, "x");
    if (const auto added = AddInstalledFont(doc, "Liberation Sans", false, false)) {
        std::vector<uint8_t> pageDone(static_cast<size_t>(doc.pageList.Count()), 0);
        for (TFontRecord& font : doc.fontList) {
            if (font.hidden || font.pageIndex < 0 || font.pageIndex >= doc.pageList.Count()) continue;
            if (pageDone[static_cast<size_t>(font.pageIndex)]) continue;
            pageDone[static_cast<size_t>(font.pageIndex)] = 1;
            font.replacementName = *added;
        }
        const double embedSave = SaveStage(doc, versionItem, "save_embed").total;
        if (plainSave > 0) Line("save_embed_ratio", embedSave / plainSave, "x");
    } else {
        std::fputs("Liberation Sans fehlt: kein Speichern mit Ersetzung\n", stderr);
    }
    Line("peak_rss_after_save", PeakRssMiB(), "MiB");
}

}  // namespace

int main(int argc, char** argv) {
    bool fixedMeasurer = false;
    // Only the first and the last page are interpreted and painted, and the
    // preview is left out: what a user who opens a large catalogue, looks
    // at its ends and saves it costs.
    bool firstLast = false;
#ifdef GW_HAVE_VIEW
    if (argc == 4 && std::strcmp(argv[1], "--window") == 0) return BenchWindow(argv[2], argv[3]);
#endif
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--fixed-measurer") == 0) fixedMeasurer = true;
        else if (std::strcmp(argv[i], "--first-last") == 0) firstLast = true;
        else if (!path) path = argv[i];
        else path = nullptr, argc = 0;
    }
    if (!path) {
        std::fputs("Aufruf: glyphwell-bench [--fixed-measurer] [--first-last] DATEI\n"
                   "       glyphwell-bench --window open|cancel-reopen|preview DATEI\n",
                   stderr);
        return 64;
    }

    TFreeTypeMeasurer freeType;
    TFixedMeasurer fixed;
    THeadlessUi ui(fixedMeasurer ? static_cast<TTextMeasurer*>(&fixed) : &freeType);
    TPdfDocument doc(ui);

    const double cpuBeforeOpen = ProcessCpuSeconds();
    doc.openfilenow(path);
    PrintOpenFigures(doc, ProcessCpuSeconds() - cpuBeforeOpen);
    [[maybe_unused]] const int densestPage = InterpretPages(doc, firstLast);
    SaveStages(doc, ui.VersionItem());

#ifdef GW_HAVE_VIEW
    // Painting needs an application object; no screen is needed for it.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);
    BenchPaintStages(doc, densestPage, firstLast);
    Line("image_cache_after_paint", static_cast<double>(doc.imageBitmaps.Bytes()) / 1048576.0, "MiB");
    Line("peak_rss_after_paint", PeakRssMiB(), "MiB");
    if (!firstLast) BenchPreviewStages(doc);
#endif
    Line("peak_rss_end", PeakRssMiB(), "MiB");
    for (const auto& message : ui.messages) std::fprintf(stderr, "Meldung: %s\n", message.text.c_str());
    return ui.messages.empty() ? 0 : 1;
}

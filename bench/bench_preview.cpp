// Preview stage of glyphwell-bench: writes the document into memory as the
// preview does, loads both versions into Poppler and renders pages at zoom
// 100 (96 dpi) as the preview's worker does, and compares the two
// renderings of each page as the difference view does. Documents of more
// than kSampled pages are sampled evenly.
#ifdef GW_HAVE_VIEW

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "PdfDocument.h"
#include "PdfWriter.h"
#include "PixelDifference.h"
#include "PreviewRenderer.h"
#include "bench_paint.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSampled = 60;
constexpr double kDpi = 96;

void Line(const char* name, double value, const char* unit) { std::printf("%s %.6g %s\n", name, value, unit); }

double MsSince(Clock::time_point start) { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); }

// The thread's processor time: on a machine shared with other work the
// wall-clock figures grow with its load, this one does not.
double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

}  // namespace

void BenchPreviewStages(TPdfDocument& doc) {
    if (doc.pageList.Count() <= 0 || doc.Source().empty()) return;
    auto start = Clock::now();
    const std::string written = WritePdfToMemory(doc, 2);
    Line("preview_write_memory", MsSince(start), "ms");

    start = Clock::now();
    // As the window does: Poppler reads the bytes where they are.
    const TPreviewDocument before({{}, QByteArray::fromRawData(reinterpret_cast<const char*>(doc.Source().data()),
                                                               static_cast<qsizetype>(doc.Source().size())),
                                  {}});
    const TPreviewDocument after({{}, QByteArray::fromRawData(written.data(), static_cast<qsizetype>(written.size())), {}});
    Line("preview_load_both", MsSince(start), "ms");
    const int pages = std::min(before.PageCount(), after.PageCount());
    if (pages <= 0) {
        Line("preview_pages_readable", 0, "pages");
        return;
    }

    const int sampled = std::min(pages, kSampled);
    double renderTotal = 0, renderWorst = 0, renderCpu = 0, renderCpuWorst = 0, diffTotal = 0;
    int worstPage = 0, failed = 0;
    int64_t changed = 0;
    for (int i = 0; i < sampled; ++i) {
        const int page = static_cast<int>(int64_t{pages} * i / sampled);
        start = Clock::now();
        const double cpuStart = ThreadCpuMs();
        const QImage left = before.Render(page, kDpi);
        const double cpu = ThreadCpuMs() - cpuStart;
        const double ms = MsSince(start);
        renderTotal += ms;
        renderCpu += cpu;
        renderCpuWorst = std::max(renderCpuWorst, cpu);
        if (ms > renderWorst) renderWorst = ms, worstPage = page + 1;
        const QImage right = after.Render(page, kDpi);
        if (left.isNull() || right.isNull()) ++failed;
        start = Clock::now();
        changed += ComparePages(left, right).changedPixels;
        diffTotal += MsSince(start);
    }
    Line("preview_pages_rendered", sampled, "pages");
    Line("preview_render_per_page", renderTotal / sampled, "ms");
    Line("preview_render_max_page", renderWorst, "ms");
    Line("preview_render_max_page_number", worstPage, "page");
    Line("preview_render_cpu_per_page", renderCpu / sampled, "ms");
    Line("preview_render_cpu_max_page", renderCpuWorst, "ms");
    Line("preview_render_failed", failed, "pages");
    Line("preview_difference_per_page", diffTotal / sampled, "ms");
    // Nothing is replaced here: every changed pixel is a difference that
    // writing alone makes.
    Line("preview_changed_pixels_unreplaced", static_cast<double>(changed), "pixels");
}

#endif  // GW_HAVE_VIEW

// Paint stage of glyphwell-bench: draws every page of an opened document
// off-screen at zoom 100 as the page view does, and times the pointer
// tool's work per mouse movement on the page with the most items.
//
// Needs a QApplication (the offscreen platform will do) before the call.
#ifdef GW_HAVE_VIEW

#include <QLineEdit>
#include <QSpinBox>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>

#include "PageView.h"
#include "bench_paint.h"
#include "PdfDocument.h"

namespace {

using Clock = std::chrono::steady_clock;

void Line(const char* name, double value, const char* unit) { std::printf("%s %.6g %s\n", name, value, unit); }

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// The processor time of this thread: on a machine shared with other work the
// wall-clock figures say more about the others than about the painting.
double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace

void BenchPaintStages(TPdfDocument& doc, int densestPage, bool firstLast) {
    const int pages = doc.pageList.Count();
    if (pages <= 0) return;
    constexpr int kZoom = 100;
    TPageView view(doc);
    view.SetDpi(96);

    // The first paint of a document converts its pictures and loads the
    // fonts; it is reported on its own.
    auto start = Clock::now();
    double cpuStart = ThreadCpuSeconds();
    view.RenderPage(1, kZoom);
    Line("paint_first_page", SecondsSince(start) * 1e3, "ms");
    Line("paint_cpu_first_page", (ThreadCpuSeconds() - cpuStart) * 1e3, "ms");

    double total = 0, worst = 0, cpuTotal = 0, cpuWorst = 0;
    int worstPage = 1;
    int painted = 0;
    for (int page = 1; page <= pages; ++page) {
        if (firstLast && page > 1 && page < pages) continue;
        ++painted;
        start = Clock::now();
        cpuStart = ThreadCpuSeconds();
        const QImage image = view.RenderPage(page, kZoom);
        const double seconds = SecondsSince(start);
        const double cpu = ThreadCpuSeconds() - cpuStart;
        total += seconds;
        cpuTotal += cpu;
        cpuWorst = std::max(cpuWorst, cpu);
        if (seconds > worst) worst = seconds, worstPage = page;
        if (image.isNull()) Line("paint_page_refused", page, "page");
    }
    Line("paint_total", total, "s");
    Line("paint_per_page", total / painted * 1e3, "ms");
    Line("paint_max_page", worst * 1e3, "ms");
    Line("paint_max_page_number", worstPage, "page");
    Line("paint_cpu_per_page", cpuTotal / painted * 1e3, "ms");
    Line("paint_cpu_max_page", cpuWorst * 1e3, "ms");

    // The pointer: one hit test over the page's runs and one repaint of a
    // window-sized part of the page per movement, along a diagonal.
    const int dense = densestPage;
    QSpinBox pageEd, zoomEd;
    pageEd.setRange(1, 10000);
    pageEd.setValue(dense);
    zoomEd.setRange(10, 300);
    zoomEd.setValue(kZoom);
    QLineEdit fontNameEd;
    view.AttachControls(&pageEd, &zoomEd, &fontNameEd, nullptr);
    const QSize area = view.PageAreaSize(dense, kZoom);
    const QRect window(0, 0, std::min(area.width(), 1200), std::min(area.height(), 900));
    constexpr int kMoves = 400;
    double hitSeconds = 0, repaintSeconds = 0;
    int hits = 0;
    for (int i = 0; i < kMoves; ++i) {
        const int x = static_cast<int>(int64_t{area.width()} * i / kMoves);
        const int y = static_cast<int>(int64_t{area.height()} * ((i * 7) % kMoves) / kMoves);
        start = Clock::now();
        if (!view.HoverAt(x, y).isEmpty()) ++hits;
        hitSeconds += SecondsSince(start);
        start = Clock::now();
        view.RenderPageRegion(dense, kZoom, window);
        repaintSeconds += SecondsSince(start);
    }
    Line("hover_page", dense, "page");
    Line("hover_hit_test", hitSeconds / kMoves * 1e3, "ms");
    Line("hover_with_repaint", (hitSeconds + repaintSeconds) / kMoves * 1e3, "ms");
    Line("hover_hits", hits, "moves");
}

#endif  // GW_HAVE_VIEW

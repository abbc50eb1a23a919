// Poppler renderings of two versions of a document, made on a thread of
// their own: the file as it was read ("before") and the file as it would be
// saved now ("after"). Pages are rendered on demand and kept per page and
// resolution; giving a side new bytes drops that side's pages.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QThread>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <utility>

enum class TPreviewSide { Before = 0, After = 1 };

namespace Poppler {
class Document;
}

// A PDF file in memory as Poppler reads it, and its pages rendered as the
// preview shows them. Not thread-safe: one thread at a time.
class TPreviewDocument {
public:
    // Bytes Poppler cannot read, or an encrypted file, give a document
    // without pages.
    // `password`: of an encrypted file, the user or the owner password.
    explicit TPreviewDocument(const QByteArray& pdf, const QByteArray& password = {});
    ~TPreviewDocument();
    TPreviewDocument(const TPreviewDocument&) = delete;
    TPreviewDocument& operator=(const TPreviewDocument&) = delete;

    int PageCount() const;
    // Page `page` (0-based) at `dpi`; a null image for a page the file does
    // not have, or one that would take more than about 190 MB.
    QImage Render(int page, double dpi) const;

private:
    std::unique_ptr<Poppler::Document> doc_;
};

class TPreviewWorker;

class TPreviewRenderer : public QObject {
    Q_OBJECT
public:
    explicit TPreviewRenderer(QObject* parent = nullptr);
    ~TPreviewRenderer() override;

    // New bytes for a side (empty: no document). Its cached pages are
    // dropped and renderings still under way for the old bytes are thrown
    // away when they arrive.
    void SetDocument(TPreviewSide side, const QByteArray& pdf, const QByteArray& password = {});
    bool HasDocument(TPreviewSide side) const { return hasDocument_[Index(side)]; }

    // The rendering of a page (0-based) at `dpi` dots per inch, if it is in
    // the cache; otherwise a null image, and the page is rendered and
    // pageRendered follows. A request for another page or resolution makes
    // renderings asked for before and not begun yet unnecessary: they are
    // skipped.
    QImage Page(TPreviewSide side, int page, double dpi);
    // Whether the last rendering of that page failed (a page the bytes do
    // not have, or bytes Poppler cannot read).
    bool Failed(TPreviewSide side, int page, double dpi) const;

    // Bytes of pixels kept per side; the renderings used longest ago go
    // first.
    static constexpr int64_t kCacheBytes = int64_t{192} << 20;

signals:
    void pageRendered(TPreviewSide side, int page);

private:
    // page, dpi in thousandths
    using TKey = std::pair<int, int64_t>;
    struct TEntry {
        QImage image;
        bool failed = false;
        uint64_t lastUse = 0;
    };
    static size_t Index(TPreviewSide side) { return static_cast<size_t>(side); }
    static TKey Key(int page, double dpi);
    void Store(int side, int generation, int page, double dpi, const QImage& image, int status);
    void Evict(size_t side);

    QThread thread_;
    TPreviewWorker* worker_ = nullptr;  // lives in thread_, deleted when it ends
    // The page and resolution asked for last, packed; the worker skips
    // queued renderings of anything else.
    std::shared_ptr<std::atomic<uint64_t>> wanted_;
    uint64_t useClock_ = 0;
    int generation_[2] = {0, 0};
    bool hasDocument_[2] = {false, false};
    std::map<TKey, TEntry> cache_[2];
    std::set<TKey> pending_[2];
};

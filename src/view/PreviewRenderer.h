// Poppler renderings of two versions of a document, made on a thread of
// their own: the file as it was read ("before") and the file as it would be
// saved now ("after"). Pages are rendered on demand and kept per page and
// resolution, within a budget; giving a side a new document drops that
// side's pages.
#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QString>
#include <QThread>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <utility>

enum class TPreviewSide { Before = 0, After = 1 };

// The PDF file a side shows: a file on disk (read as Poppler needs it), or
// bytes in memory. Bytes are not copied: whoever hands them over keeps them
// until the side has been given another source (SetDocument returns only
// once the renderer has let go of the old bytes).
struct TPreviewSource {
    QString path;
    QByteArray bytes;
    // Of an encrypted file: the user or the owner password.
    QByteArray password;
    bool IsEmpty() const { return path.isEmpty() && bytes.isEmpty(); }
};

namespace Poppler {
class Document;
}

// A PDF file in memory as Poppler reads it, and its pages rendered as the
// preview shows them. Not thread-safe: one thread at a time.
class TPreviewDocument {
public:
    // Bytes Poppler cannot read, or an encrypted file, give a document
    // without pages.
    explicit TPreviewDocument(const TPreviewSource& source);
    ~TPreviewDocument();
    TPreviewDocument(const TPreviewDocument&) = delete;
    TPreviewDocument& operator=(const TPreviewDocument&) = delete;

    int PageCount() const;
    // Page `page` (0-based) at `dpi`; a null image for a page the file does
    // not have, or one that would take more than about 190 MB.
    QImage Render(int page, double dpi) const;

private:
    // Bytes are read through a device, so that Poppler never copies them.
    QBuffer bytes_;
    std::unique_ptr<Poppler::Document> doc_;
};

class TPreviewWorker;

class TPreviewRenderer : public QObject {
    Q_OBJECT
public:
    explicit TPreviewRenderer(QObject* parent = nullptr);
    ~TPreviewRenderer() override;

    // Another document for a side (empty: none). Its cached pages are
    // dropped and renderings still under way for the old document are
    // thrown away when they arrive. When the side showed bytes in memory,
    // this returns once the renderer no longer reads them.
    void SetDocument(TPreviewSide side, const TPreviewSource& source);
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
    // first. A page at a large zoom takes about 12 MB: the pages just
    // turned from stay, the whole document is not held twice.
    static constexpr int64_t kCacheBytes = int64_t{32} << 20;

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
    bool showsBytes_[2] = {false, false};
    std::map<TKey, TEntry> cache_[2];
    std::set<TKey> pending_[2];
};

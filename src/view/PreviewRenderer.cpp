#include "PreviewRenderer.h"

#include <poppler-qt6.h>

#include <cmath>

namespace {

// Renderings larger than this (a huge page at a high zoom) are refused
// rather than allocated: 48 million pixels, about 190 MB.
constexpr double kMaxPixels = 48.0 * 1024 * 1024;

enum TStatus { kRendered = 0, kFailed = 1, kSkipped = 2 };

uint64_t PackWanted(int page, int64_t dpiMilli) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(page)) << 32) | static_cast<uint32_t>(dpiMilli);
}

}  // namespace

TPreviewDocument::TPreviewDocument(const TPreviewSource& source) {
    if (!source.bytes.isEmpty()) {
        bytes_.setData(source.bytes);
        if (!bytes_.open(QIODevice::ReadOnly)) return;
        // Poppler tries the password as either.
        doc_ = Poppler::Document::load(&bytes_, source.password, source.password);
    } else if (!source.path.isEmpty()) {
        doc_ = Poppler::Document::load(source.path, source.password, source.password);
    }
    if (!doc_ || doc_->isLocked()) {
        doc_.reset();
        return;
    }
    doc_->setRenderHint(Poppler::Document::Antialiasing);
    doc_->setRenderHint(Poppler::Document::TextAntialiasing);
}

TPreviewDocument::~TPreviewDocument() = default;

int TPreviewDocument::PageCount() const { return doc_ ? doc_->numPages() : 0; }

QImage TPreviewDocument::Render(int page, double dpi) const {
    if (page < 0 || page >= PageCount()) return QImage();
    const std::unique_ptr<Poppler::Page> p = doc_->page(page);
    if (!p) return QImage();
    const QSizeF points = p->pageSizeF();
    const double pixels = points.width() * dpi / 72.0 * points.height() * dpi / 72.0;
    if (!(pixels > 0 && pixels <= kMaxPixels)) return QImage();
    return p->renderToImage(dpi, dpi);
}

// Owns the documents of both sides; used only on the renderer's thread.
class TPreviewWorker : public QObject {
    Q_OBJECT
public:
    explicit TPreviewWorker(std::shared_ptr<std::atomic<uint64_t>> wanted) : wanted_(std::move(wanted)) {}

    void Load(int side, int generation, const TPreviewSource& source) {
        docs_[side].reset();
        generations_[side] = generation;
        if (!source.IsEmpty()) docs_[side] = std::make_unique<TPreviewDocument>(source);
    }

    void Render(int side, int generation, int page, double dpi, int64_t dpiMilli) {
        if (generation != generations_[side] || wanted_->load() != PackWanted(page, dpiMilli)) {
            emit done(side, generation, page, dpi, QImage(), kSkipped);
            return;
        }
        const QImage image = docs_[side] ? docs_[side]->Render(page, dpi) : QImage();
        emit done(side, generation, page, dpi, image, image.isNull() ? kFailed : kRendered);
    }

signals:
    void done(int side, int generation, int page, double dpi, const QImage& image, int status);

private:
    std::shared_ptr<std::atomic<uint64_t>> wanted_;
    std::unique_ptr<TPreviewDocument> docs_[2];
    int generations_[2] = {0, 0};
};

TPreviewRenderer::TPreviewRenderer(QObject* parent)
    : QObject(parent), wanted_(std::make_shared<std::atomic<uint64_t>>(0)) {
    // Poppler reports every flaw of a file on stderr; the preview says what
    // matters on the page itself.
    Poppler::setDebugErrorFunction([](const QString&, const QVariant&) {}, QVariant());
    worker_ = new TPreviewWorker(wanted_);
    worker_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    connect(worker_, &TPreviewWorker::done, this,
            [this](int side, int generation, int page, double dpi, const QImage& image, int status) {
                Store(side, generation, page, dpi, image, status);
            });
    thread_.setObjectName("Vorschau");
    thread_.start();
}

TPreviewRenderer::~TPreviewRenderer() {
    // Nothing queued is wanted any more; the rendering under way finishes.
    wanted_->store(~uint64_t{0});
    thread_.quit();
    thread_.wait();
}

TPreviewRenderer::TKey TPreviewRenderer::Key(int page, double dpi) {
    return {page, std::llround(dpi * 1000.0)};
}

void TPreviewRenderer::SetDocument(TPreviewSide side, const TPreviewSource& source) {
    const size_t s = Index(side);
    const int generation = ++generation_[s];
    hasDocument_[s] = !source.IsEmpty();
    cache_[s].clear();
    pending_[s].clear();
    auto load = [worker = worker_, side = static_cast<int>(s), generation, source] {
        worker->Load(side, generation, source);
    };
    if (showsBytes_[s]) {
        // The old bytes belong to the caller, who may free them as soon as
        // this returns: renderings queued for them are skipped, the one under
        // way is waited for.
        wanted_->store(~uint64_t{0});
        QMetaObject::invokeMethod(worker_, load, Qt::BlockingQueuedConnection);
    } else {
        QMetaObject::invokeMethod(worker_, load, Qt::QueuedConnection);
    }
    showsBytes_[s] = !source.bytes.isEmpty();
}

QImage TPreviewRenderer::Page(TPreviewSide side, int page, double dpi) {
    const size_t s = Index(side);
    const TKey key = Key(page, dpi);
    wanted_->store(PackWanted(key.first, key.second));
    const auto found = cache_[s].find(key);
    if (found != cache_[s].end()) {
        found->second.lastUse = ++useClock_;
        return found->second.image;
    }
    if (!hasDocument_[s] || pending_[s].count(key)) return QImage();
    pending_[s].insert(key);
    QMetaObject::invokeMethod(
        worker_,
        [worker = worker_, side = static_cast<int>(s), generation = generation_[s], page, dpi, milli = key.second] {
            worker->Render(side, generation, page, dpi, milli);
        },
        Qt::QueuedConnection);
    return QImage();
}

bool TPreviewRenderer::Failed(TPreviewSide side, int page, double dpi) const {
    const size_t s = Index(side);
    const auto found = cache_[s].find(Key(page, dpi));
    return found != cache_[s].end() && found->second.failed;
}

void TPreviewRenderer::Store(int side, int generation, int page, double dpi, const QImage& image, int status) {
    const auto s = static_cast<size_t>(side);
    if (s > 1 || generation != generation_[s]) return;
    const TKey key = Key(page, dpi);
    pending_[s].erase(key);
    if (status == kSkipped) return;
    cache_[s][key] = TEntry{image, status == kFailed, ++useClock_};
    Evict(s);
    emit pageRendered(static_cast<TPreviewSide>(side), page);
}

void TPreviewRenderer::Evict(size_t side) {
    auto& cache = cache_[side];
    for (;;) {
        int64_t bytes = 0;
        auto oldest = cache.end();
        for (auto it = cache.begin(); it != cache.end(); ++it) {
            bytes += it->second.image.sizeInBytes();
            if (oldest == cache.end() || it->second.lastUse < oldest->second.lastUse) oldest = it;
        }
        // The newest rendering stays even when it alone is over the budget.
        if (bytes <= kCacheBytes || cache.size() <= 1) return;
        cache.erase(oldest);
    }
}

#include "PreviewRenderer.moc"

#include "PreviewPane.h"

#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>

#include "PageView.h"
#include "PdfDocument.h"
#include "ContentRewrite.h"
#include "OutputFile.h"
#include "PdfWriter.h"

// One page of the preview: a rendering, or white paper of the page's size
// with a note while the rendering is under way. A rendering made for a
// high-resolution screen has more pixels than the sheet has logical ones;
// it is drawn at the screen's own pixels, not scaled up.
class TPreviewSheet : public QWidget {
public:
    explicit TPreviewSheet(TPreviewPane& pane) : QWidget(&pane), pane_(pane) {
        setMouseTracking(true);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    void Show(const QImage& image, qreal pixelRatio, const QSize& paperSize, const QString& note) {
        image_ = image;
        ratio_ = pixelRatio > 0 ? pixelRatio : 1.0;
        note_ = note;
        const QSize size = image.isNull() ? paperSize : (QSizeF(image.size()) / ratio_).toSize();
        if (this->size() != size) resize(size);
        update();
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        if (!image_.isNull()) {
            const QRectF target(event->rect());
            const QRectF source(target.topLeft() * ratio_, target.size() * ratio_);
            painter.drawImage(target, image_, source);
            return;
        }
        painter.fillRect(event->rect(), Qt::white);
        painter.setPen(Qt::gray);
        painter.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, note_);
    }

    void mousePressEvent(QMouseEvent* event) override {
        pane_.SheetPressed(event->position().toPoint(), event->button());
    }

    void mouseMoveEvent(QMouseEvent* event) override {
        const QPoint at = event->position().toPoint();
        if (pane_.SheetDragged(at)) return;
        emit pane_.pointerMoved(at.x(), at.y());
    }

    void mouseReleaseEvent(QMouseEvent*) override { pane_.SheetReleased(); }

private:
    TPreviewPane& pane_;
    QImage image_;
    qreal ratio_ = 1.0;
    QString note_;
};

namespace {

QScrollArea* MakeArea(QWidget* sheet, QWidget* parent) {
    auto* area = new QScrollArea(parent);
    area->setWidgetResizable(false);
    area->setBackgroundRole(QPalette::Dark);
    area->setWidget(sheet);
    return area;
}

QVBoxLayout* Captioned(const QString& caption, QScrollArea* area, QWidget* parent) {
    auto* label = new QLabel(caption, parent);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    auto* column = new QVBoxLayout;
    column->setSpacing(2);
    column->addWidget(label);
    column->addWidget(area, 1);
    return column;
}

void Couple(QScrollBar* a, QScrollBar* b) {
    // Setting the value a bar already has emits nothing, so this ends.
    QObject::connect(a, &QScrollBar::valueChanged, b, &QScrollBar::setValue);
    QObject::connect(b, &QScrollBar::valueChanged, a, &QScrollBar::setValue);
}

}  // namespace

TPreviewPane::TPreviewPane(TPdfDocument& doc, QWidget* parent) : QWidget(parent), doc_(&doc) {
    beforeSheet_ = new TPreviewSheet(*this);
    afterSheet_ = new TPreviewSheet(*this);
    beforeArea_ = MakeArea(beforeSheet_, this);
    afterArea_ = MakeArea(afterSheet_, this);
    Couple(beforeArea_->horizontalScrollBar(), afterArea_->horizontalScrollBar());
    Couple(beforeArea_->verticalScrollBar(), afterArea_->verticalScrollBar());

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(Captioned("Wie in der Datei", beforeArea_, this), 1);
    layout->addLayout(Captioned("Wie es gespeichert wird", afterArea_, this), 1);

    connect(&renderer_, &TPreviewRenderer::pageRendered, this, [this](TPreviewSide, int page) {
        if (page == page_ - 1) Fetch();
    });
}

int TPreviewPane::Dpi() const { return dpiOverride_ > 0 ? dpiOverride_ : logicalDpiX(); }

double TPreviewPane::PixelRatio() const {
    return pixelRatioOverride_ > 0 ? pixelRatioOverride_ : std::max<qreal>(1.0, devicePixelRatioF());
}

// The screen's own pixels: on a high-resolution screen the page is rendered
// finer, so that it is as sharp as the text around it.
double TPreviewPane::RenderDpi() const { return Dpi() * zoom_ / 100.0 * PixelRatio(); }

void TPreviewPane::DocumentOpened() {
    // Both sides are made when the pane is next shown: nothing is loaded or
    // written as long as nobody looks at the preview. The renderer lets go
    // of the document's bytes before this returns.
    renderer_.SetDocument(TPreviewSide::Before, {});
    renderer_.SetDocument(TPreviewSide::After, {});
    if (!shownResult_.isEmpty()) QFile::remove(shownResult_);
    shownResult_.clear();
    fileStale_ = resultStale_ = true;
    before_ = after_ = QImage();
    difference_ = TPixelDifference();
    differenceValid_ = false;
}

void TPreviewPane::Release() {
    DocumentOpened();
    // The sheets drop their copies of the renderings too.
    UpdateSheets();
}

void TPreviewPane::SetDocument(TPdfDocument& doc) {
    doc_ = &doc;
    DocumentOpened();
}

void TPreviewPane::ReadFile() {
    fileStale_ = false;
    const TFileBytes& file = doc_->Source();
    const bool readable = !file.empty() && doc_->pageList.Count() > 0;
    // The file's bytes where the document holds them, not a copy: the
    // document outlives the renderer's use (SetDocument and DocumentOpened
    // take them back before another document is shown).
    TPreviewSource source;
    source.password = QByteArray::fromStdString(doc_->Password());
    if (readable)
        source.bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(file.data()), static_cast<qsizetype>(file.size()));
    renderer_.SetDocument(TPreviewSide::Before, source);
}

void TPreviewPane::ReplacementsChanged() {
    resultStale_ = true;
}

// The writer's bytes into a file of the preview's own, without the flushes
// to disk that a saved file gets: it only lives while it is shown.
class TPreviewFileSink : public TByteSink {
public:
    explicit TPreviewFileSink(const QString& path) : file_(path) { ok_ = file_.open(QIODevice::WriteOnly); }
    void Write(const void* data, size_t size) override {
        if (ok_) ok_ = file_.write(static_cast<const char*>(data), static_cast<qint64>(size)) == qint64(size);
        written_ += static_cast<int64_t>(size);
    }
    using TByteSink::Write;
    int64_t Position() const override { return written_; }
    bool Finish() {
        file_.close();
        return ok_ && file_.error() == QFileDevice::NoError;
    }

private:
    QFile file_;
    bool ok_ = false;
    int64_t written_ = 0;
};

void TPreviewPane::WriteResult() {
    resultStale_ = false;
    TPreviewSource source;
    source.password = QByteArray::fromStdString(doc_->Password());
    if (doc_->pageList.Count() > 0 && scratch_.isValid()) {
        // Written to a file that Poppler reads as it needs it: the preview
        // holds no second copy of a large document in memory.
        const QString path = scratch_.filePath(QString("gespeichert-%1.pdf").arg(++written_));
        try {
            TPreviewFileSink sink(path);
            WritePdf(*doc_, sink, doc_->Ui().VersionItem());
            if (sink.Finish()) source.path = path;
        } catch (const std::exception&) {
            // Too little memory for writing: the right side says "Keine
            // Vorschau"; saving itself is not affected.
        }
        if (source.path.isEmpty()) QFile::remove(path);
    }
    renderer_.SetDocument(TPreviewSide::After, source);
    // The renderer has the new file open, or none; the previous one can go
    // (an open file stays readable until it is closed).
    if (!shownResult_.isEmpty()) QFile::remove(shownResult_);
    shownResult_ = source.path;
}

void TPreviewPane::ShowPage(int page, int zoomPercent) {
    page_ = page;
    zoom_ = zoomPercent;
    // Both wait for the reader: the model is being built underneath.
    if (fileStale_ && !doc_->opening) ReadFile();
    if (resultStale_ && !doc_->opening) WriteResult();
    Fetch();
}

void TPreviewPane::Fetch() {
    const double dpi = RenderDpi();
    before_ = renderer_.Page(TPreviewSide::Before, page_ - 1, dpi);
    after_ = renderer_.Page(TPreviewSide::After, page_ - 1, dpi);
    UpdateSheets();
    UpdateStatus();
}

const TPixelDifference* TPreviewPane::Difference() {
    if (!PageReady()) return nullptr;
    if (!differenceValid_ || differenceOf_[0] != before_.cacheKey() || differenceOf_[1] != after_.cacheKey()) {
        difference_ = ComparePages(before_, after_);
        differenceOf_[0] = before_.cacheKey();
        differenceOf_[1] = after_.cacheKey();
        differenceValid_ = true;
    }
    return &difference_;
}

std::optional<int64_t> TPreviewPane::ChangedPixels() {
    const TPixelDifference* difference = Difference();
    if (!difference) return std::nullopt;
    return difference->changedPixels;
}

void TPreviewPane::SetDifferenceShown(bool shown) {
    differenceShown_ = shown;
    UpdateSheets();
    UpdateStatus();
}

void TPreviewPane::UpdateSheets() {
    QSize paper(PageGeometry::Conv(595, zoom_, Dpi()), PageGeometry::Conv(842, zoom_, Dpi()));
    if (page_ >= 1 && page_ <= doc_->pageList.Count()) {
        const auto& box = doc_->pageList[static_cast<size_t>(page_ - 1)].mediaBox;
        paper = QSize(PageGeometry::Conv(box[2] - box[0], zoom_, Dpi()), PageGeometry::Conv(box[3] - box[1], zoom_, Dpi()));
    }
    paper = paper.expandedTo(QSize(1, 1)).boundedTo(QSize(20000, 20000));
    const auto note = [this](TPreviewSide side) {
        if (!renderer_.HasDocument(side)) return QString("Keine Vorschau");
        if (renderer_.Failed(side, page_ - 1, RenderDpi()))
            return QString("Diese Seite kann nicht gezeichnet werden.");
        return QString("Die Seite wird gezeichnet …");
    };
    const qreal ratio = PixelRatio();
    beforeSheet_->Show(before_, ratio, paper, note(TPreviewSide::Before));
    const TPixelDifference* difference = differenceShown_ ? Difference() : nullptr;
    afterSheet_->Show(difference ? difference->overlay : after_, ratio, paper, note(TPreviewSide::After));
}

void TPreviewPane::UpdateStatus() {
    QString text;
    if (differenceShown_) {
        if (const std::optional<int64_t> changed = ChangedPixels()) {
            text = *changed == 0 ? QString("Unterschied: Beim Speichern ändert sich kein Pixel dieser Seite.")
                                 : QString("Unterschied: Beim Speichern ändern sich %1 Pixel dieser Seite.")
                                       .arg(QLocale().toString(static_cast<qlonglong>(*changed)));
        } else {
            text = "Unterschied: Die Seite wird gezeichnet …";
        }
    }
    if (text == status_) return;
    status_ = text;
    emit statusTextChanged(text);
}

// ---- mouse tools -----------------------------------------------------------------

void TPreviewPane::SetTool(TPageView::TTool tool) {
    tool_ = tool;
    panning_ = false;
    QCursor cursor(Qt::ArrowCursor);
    if (tool == TPageView::TTool::Magnifier) cursor = TPageView::LupeCursor();
    if (tool == TPageView::TTool::Hand) cursor = TPageView::DragCursor();
    beforeSheet_->setCursor(cursor);
    afterSheet_->setCursor(cursor);
}

void TPreviewPane::SheetPressed(const QPoint& at, Qt::MouseButton button) {
    if (tool_ == TPageView::TTool::Hand && button == Qt::LeftButton) {
        panning_ = true;
        panStart_ = at;
        return;
    }
    if (tool_ != TPageView::TTool::Magnifier) return;
    // As on the simplified page: the clicked point comes to the middle at
    // the new zoom, which the tab's zoom field takes (and shows the page at).
    const int oldZoom = zoom_;
    const int newZoom = PageGeometry::MagnifiedZoom(oldZoom, button == Qt::LeftButton);
    emit zoomRequested(newZoom);
    QScrollArea* area = beforeArea_;
    const QSize sheet = beforeSheet_->size();
    area->horizontalScrollBar()->setValue(
        PageGeometry::MagnifierScroll(at.x(), oldZoom, zoom_, area->viewport()->width(), sheet.width()));
    area->verticalScrollBar()->setValue(
        PageGeometry::MagnifierScroll(at.y(), oldZoom, zoom_, area->viewport()->height(), sheet.height()));
}

bool TPreviewPane::SheetDragged(const QPoint& at) {
    if (!panning_) return false;
    // The sheets scroll together, so moving the left one moves both.
    QScrollBar* h = beforeArea_->horizontalScrollBar();
    QScrollBar* v = beforeArea_->verticalScrollBar();
    h->setValue(PageGeometry::ClampScroll(h->value() + panStart_.x() - at.x(), beforeSheet_->width()));
    v->setValue(PageGeometry::ClampScroll(v->value() + panStart_.y() - at.y(), beforeSheet_->height()));
    return true;
}

void TPreviewPane::SheetReleased() {
    panning_ = false;
}

#include "PreviewPane.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include "PageView.h"
#include "PdfDocument.h"
#include "PdfWriter.h"

// One page of the preview: a rendering, or white paper of the page's size
// with a note while the rendering is under way.
class TPreviewSheet : public QWidget {
public:
    explicit TPreviewSheet(TPreviewPane& pane) : QWidget(&pane), pane_(pane) {
        setMouseTracking(true);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    void Show(const QImage& image, const QSize& paperSize, const QString& note) {
        image_ = image;
        note_ = note;
        const QSize size = image.isNull() ? paperSize : image.size();
        if (this->size() != size) resize(size);
        update();
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        if (!image_.isNull()) {
            painter.drawImage(event->rect(), image_, event->rect());
            return;
        }
        painter.fillRect(event->rect(), Qt::white);
        painter.setPen(Qt::gray);
        painter.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, note_);
    }

    void mouseMoveEvent(QMouseEvent* event) override {
        const QPoint at = event->position().toPoint();
        emit pane_.pointerMoved(at.x(), at.y());
    }

private:
    TPreviewPane& pane_;
    QImage image_;
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

double TPreviewPane::RenderDpi() const { return Dpi() * zoom_ / 100.0; }

void TPreviewPane::DocumentOpened() {
    // Both sides are made when the pane is next shown: a copy of a large
    // file in memory costs nothing as long as nobody looks at the preview.
    renderer_.SetDocument(TPreviewSide::Before, QByteArray());
    renderer_.SetDocument(TPreviewSide::After, QByteArray());
    fileStale_ = resultStale_ = true;
    before_ = after_ = QImage();
}

void TPreviewPane::SetDocument(TPdfDocument& doc) {
    doc_ = &doc;
    DocumentOpened();
}

void TPreviewPane::ReadFile() {
    fileStale_ = false;
    const bool readable = !doc_->Source().empty() && doc_->pageList.Count() > 0;
    renderer_.SetDocument(TPreviewSide::Before,
                          readable ? QByteArray(reinterpret_cast<const char*>(doc_->Source().data()), static_cast<qsizetype>(doc_->Source().size()))
                                   : QByteArray(),
                          QByteArray::fromStdString(doc_->Password()));
}

void TPreviewPane::ReplacementsChanged() {
    resultStale_ = true;
}

void TPreviewPane::WriteResult() {
    resultStale_ = false;
    QByteArray pdf;
    if (doc_->pageList.Count() > 0) {
        try {
            const std::string bytes = WritePdfToMemory(*doc_, doc_->Ui().VersionItem());
            pdf = QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
        } catch (const std::exception&) {
            // Too little memory for a second copy of the file: the right
            // side says "Keine Vorschau", saving itself is not affected.
            pdf.clear();
        }
    }
    renderer_.SetDocument(TPreviewSide::After, pdf, QByteArray::fromStdString(doc_->Password()));
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
    beforeSheet_->Show(before_, paper, note(TPreviewSide::Before));
    const TPixelDifference* difference = differenceShown_ ? Difference() : nullptr;
    afterSheet_->Show(difference ? difference->overlay : after_, paper, note(TPreviewSide::After));
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

#include "WindowParts.h"

#include <QApplication>
#include <QDialog>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

#include "PdfText.h"

namespace {

const QColor kHeaderColor(240, 202, 166);
const QColor kSidePanelColor(192, 220, 192);
const QColor kMaroon(128, 0, 0);

QPixmap NewPixmap(int width, int height) {
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// The bottom bar's round buttons: a symbol on a disc; pressed, the disc is
// darker and the symbol moves down by one pixel.
QPixmap RoundButtonPicture(bool pressed, const QColor& disc, const std::function<void(QPainter&)>& symbol) {
    QPixmap pixmap = NewPixmap(32, 32);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.setBrush(pressed ? disc.darker(140) : disc);
    p.drawEllipse(QRectF(1.5, 1.5, 29, 29));
    if (pressed) p.translate(1, 1);
    symbol(p);
    return pixmap;
}

void DrawInfoSymbol(QPainter& p) {
    QFont font("DejaVu Serif");
    font.setPixelSize(22);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, "i");
}

void DrawExitSymbol(QPainter& p) {
    p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(11, 11, 21, 21);
    p.drawLine(21, 11, 11, 21);
}

}  // namespace

QString FromCp1252(const std::string& s) {
    return QString::fromStdString(Cp1252ToUtf8(s));
}

std::string ToCp1252(const QString& s) {
    return Utf8ToCp1252(s.toStdString());
}

QIcon FolderIcon() {
    QPixmap pixmap = NewPixmap(16, 16);
    QPainter p(&pixmap);
    p.setPen(QColor(120, 90, 10));
    p.setBrush(QColor(240, 200, 80));
    p.drawRect(1, 4, 14, 10);
    p.drawRect(1, 2, 6, 2);
    return QIcon(pixmap);
}

QIcon LetterIcon() {
    QPixmap pixmap = NewPixmap(16, 16);
    QPainter p(&pixmap);
    QFont font("DejaVu Serif");
    font.setPixelSize(15);
    font.setBold(true);
    p.setFont(font);
    p.setPen(kMaroon);
    p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, "A");
    return QIcon(pixmap);
}

// The white "i" on a blue disc of the information pictures.
static void DrawInfoDisc(QPainter& p, const QRect& disc, const char* family, int pixelSize) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 160));
    p.drawEllipse(disc);
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(disc, Qt::AlignCenter, "i");
}

QIcon InfoIcon() {
    QPixmap pixmap = NewPixmap(16, 16);
    QPainter p(&pixmap);
    DrawInfoDisc(p, QRect(1, 1, 14, 14), "DejaVu Sans", 11);
    return QIcon(pixmap);
}

QIcon DiskIcon() {
    QPixmap pixmap = NewPixmap(16, 16);
    QPainter p(&pixmap);
    p.setPen(QColor(20, 20, 60));
    p.setBrush(QColor(60, 60, 140));
    p.drawRect(1, 1, 13, 13);
    p.setBrush(Qt::white);
    p.drawRect(4, 1, 7, 5);
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(3, 9, 9, 5);
    return QIcon(pixmap);
}

QPixmap InfoButtonPicture(bool pressed) {
    return RoundButtonPicture(pressed, QColor(0, 0, 160), DrawInfoSymbol);
}

QPixmap ExitButtonPicture(bool pressed) {
    return RoundButtonPicture(pressed, QColor(176, 0, 0), DrawExitSymbol);
}

// The decorative pictures of the side panels.
QPixmap SheetPicture() {
    QPixmap pixmap = NewPixmap(96, 120);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 2));
    p.setBrush(Qt::white);
    p.drawRect(8, 4, 80, 108);
    p.setPen(QPen(QColor(150, 150, 150), 3));
    for (int y = 48; y <= 100; y += 12) p.drawLine(18, y, 78, y);
    DrawInfoDisc(p, QRect(34, 12, 28, 28), "DejaVu Serif", 22);
    return pixmap;
}

QPixmap DiskPicture() {
    QPixmap pixmap = NewPixmap(96, 96);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(20, 20, 60), 2));
    p.setBrush(QColor(60, 60, 140));
    QPainterPath body;
    body.moveTo(6, 6);
    body.lineTo(76, 6);
    body.lineTo(90, 20);
    body.lineTo(90, 90);
    body.lineTo(6, 90);
    body.closeSubpath();
    p.drawPath(body);
    p.setBrush(QColor(210, 210, 210));
    p.drawRect(22, 6, 48, 28);
    p.setBrush(QColor(60, 60, 140));
    p.drawRect(54, 10, 10, 20);
    p.setBrush(Qt::white);
    p.drawRect(16, 50, 64, 40);
    return pixmap;
}

int TitleBarWidth(const QString& title) {
    // Title bars use a bold font somewhat larger than the window's; room
    // for the window's icon and three buttons comes on top.
    QFont font = QApplication::font("QMdiSubWindowTitleBar");
    font.setBold(true);
    font.setPointSizeF(std::max(font.pointSizeF(), 11.0));
    constexpr int kIconAndButtons = 160;
    return QFontMetrics(font).horizontalAdvance(title) + kIconAndButtons;
}

void KeepTitleReadable(QDialog& dialog) {
    const int wanted = TitleBarWidth(dialog.windowTitle());
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
        // A message box sizes itself from its grid: a spacer across it holds
        // the width.
        grid->addItem(new QSpacerItem(wanted, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                      grid->columnCount());
    } else {
        dialog.setMinimumWidth(wanted);
    }
}

QLabel* MakeHeader(const QString& text, QWidget* parent) {
    auto* header = new QLabel(text, parent);
    header->setFrameStyle(QFrame::Panel | QFrame::Raised);
    header->setAutoFillBackground(true);
    QPalette palette = header->palette();
    palette.setColor(QPalette::Window, kHeaderColor);
    palette.setColor(QPalette::WindowText, Qt::black);
    header->setPalette(palette);
    QFont font = header->font();
    font.setBold(true);
    header->setFont(font);
    header->setContentsMargins(6, 3, 6, 3);
    header->setWordWrap(true);
    return header;
}

QFrame* MakeSidePanel(const QString& title, const QPixmap& picture, QWidget* parent) {
    auto* panel = new QFrame(parent);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setAutoFillBackground(true);
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, kSidePanelColor);
    palette.setColor(QPalette::WindowText, kMaroon);
    panel->setPalette(palette);
    panel->setFixedWidth(184);
    auto* caption = new QLabel(title, panel);
    QFont font("Arial Black");
    font.setPixelSize(19);
    font.setWeight(QFont::Black);
    caption->setFont(font);
    caption->setWordWrap(true);
    caption->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    auto* image = new QLabel(panel);
    image->setPixmap(picture);
    image->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    auto* layout = new QVBoxLayout(panel);
    layout->addWidget(caption);
    layout->addWidget(image);
    layout->addStretch(1);
    return panel;
}

// ---- elided label ------------------------------------------------------------

TElidedLabel::TElidedLabel(QWidget* parent) : QLabel(parent) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void TElidedLabel::SetText(const QString& text) {
    setText(text);
    UpdateToolTip();
}

QString TElidedLabel::ShownText() const {
    return fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width());
}

bool TElidedLabel::IsElided() const {
    return ShownText() != text();
}

QSize TElidedLabel::minimumSizeHint() const {
    const QMargins margins = contentsMargins();
    const int frame = 2 * frameWidth();
    return QSize(fontMetrics().averageCharWidth() * 8 + margins.left() + margins.right() + frame,
                 QLabel::minimumSizeHint().height());
}

void TElidedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    drawFrame(&painter);
    style()->drawItemText(&painter, contentsRect(), static_cast<int>(alignment()) | Qt::TextSingleLine, palette(),
                          isEnabled(), ShownText(), foregroundRole());
}

void TElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    UpdateToolTip();
}

void TElidedLabel::UpdateToolTip() {
    setToolTip(IsElided() ? text() : QString());
}

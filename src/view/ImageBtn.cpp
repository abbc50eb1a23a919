#include "ImageBtn.h"

#include <QMouseEvent>
#include <QPainter>

TImageBtn::TImageBtn(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::PointingHandCursor);
}

void TImageBtn::SetPicture(const QPixmap& picture) {
    picture_ = picture;
    // The control takes the size of its picture, as long as it has one: an
    // empty pressed picture must not shrink the button to nothing.
    if (!picture_.isNull()) setFixedSize(picture_.deviceIndependentSize().toSize());
    update();
}

QSize TImageBtn::sizeHint() const {
    return picture_.isNull() ? QSize(32, 32) : picture_.deviceIndependentSize().toSize();
}

void TImageBtn::paintEvent(QPaintEvent*) {
    if (picture_.isNull()) return;
    QPainter painter(this);
    painter.drawPixmap(0, 0, picture_);
}

void TImageBtn::ShowPressed() {
    if (showingPressed_) return;
    showingPressed_ = true;
    savedPicture_ = picture_;
    picture_ = picture2_;
    update();
}

void TImageBtn::ShowNormal() {
    if (!showingPressed_) return;
    picture_ = savedPicture_;
    showingPressed_ = false;
    update();
}

void TImageBtn::mousePressEvent(QMouseEvent* event) {
    ShowPressed();
    mouseHeld_ = true;
    QWidget::mousePressEvent(event);
}

void TImageBtn::mouseMoveEvent(QMouseEvent* event) {
    if (mouseHeld_) {
        const QPoint pos = event->position().toPoint();
        if (pos.x() < 0 || pos.x() >= width() || pos.y() < 0 || pos.y() >= height()) ShowNormal();
        else ShowPressed();
    }
    QWidget::mouseMoveEvent(event);
}

void TImageBtn::mouseReleaseEvent(QMouseEvent* event) {
    const bool wasHeld = mouseHeld_;
    ShowNormal();
    mouseHeld_ = false;
    QWidget::mouseReleaseEvent(event);
    // A click is a left-button release over the control after a press on it.
    if (wasHeld && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        ShowNormal();
        emit clicked();
    }
}

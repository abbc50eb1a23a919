#include "FlowLayout.h"

#include <QWidget>
#include <algorithm>

TFlowLayout::TFlowLayout(QWidget* parent, int spacing) : QLayout(parent), spacing_(spacing) {
    setContentsMargins(0, 0, 0, 0);
}

TFlowLayout::~TFlowLayout() {
    while (QLayoutItem* item = takeAt(0)) delete item;
}

void TFlowLayout::addItem(QLayoutItem* item) {
    items_.append(item);
}

int TFlowLayout::count() const {
    return static_cast<int>(items_.size());
}

QLayoutItem* TFlowLayout::itemAt(int index) const {
    return index >= 0 && index < items_.size() ? items_.at(index) : nullptr;
}

QLayoutItem* TFlowLayout::takeAt(int index) {
    return index >= 0 && index < items_.size() ? items_.takeAt(index) : nullptr;
}

Qt::Orientations TFlowLayout::expandingDirections() const {
    return Qt::Horizontal;
}

int TFlowLayout::heightForWidth(int width) const {
    return Arrange(QRect(0, 0, width, 0), false);
}

QSize TFlowLayout::minimumSize() const {
    // As narrow as the widest item; as high as the lines need at the width
    // the row has now. A window's minimum size does not ask for the height
    // at a width, so the lines are counted in here: the window then keeps
    // room for every line of the row.
    QSize size;
    for (const QLayoutItem* item : items_)
        if (!item->isEmpty()) size = size.expandedTo(item->sizeHint());
    const QMargins margins = contentsMargins();
    size += QSize(margins.left() + margins.right(), margins.top() + margins.bottom());
    if (width_ > 0) size.setHeight(std::max(size.height(), heightForWidth(width_)));
    return size;
}

QSize TFlowLayout::sizeHint() const {
    // All items on one line.
    int width = 0, height = 0, shown = 0;
    for (const QLayoutItem* item : items_) {
        if (item->isEmpty()) continue;
        width += item->sizeHint().width() + (shown++ > 0 ? spacing_ : 0);
        height = std::max(height, item->sizeHint().height());
    }
    const QMargins margins = contentsMargins();
    return QSize(width + margins.left() + margins.right(), height + margins.top() + margins.bottom());
}

void TFlowLayout::setGeometry(const QRect& rect) {
    const int linesBefore = lines_;
    width_ = rect.width();
    QLayout::setGeometry(rect);
    Arrange(rect, true);
    // Another number of lines changes the minimum height: the layouts
    // above ask again (once this layout pass is over).
    if (lines_ != linesBefore && parentWidget()) parentWidget()->updateGeometry();
}

int TFlowLayout::Arrange(const QRect& rect, bool apply) const {
    const QRect area = rect.marginsRemoved(contentsMargins());
    const int width = std::max(area.width(), 1);
    QList<QLayoutItem*> shown;
    for (QLayoutItem* item : items_)
        if (!item->isEmpty()) shown.append(item);

    int y = area.top();
    int lines = 0;
    for (qsizetype first = 0; first < shown.size();) {
        // As many items as fit at their hinted width; at least one.
        qsizetype end = first;
        int used = 0, lineHeight = 0;
        while (end < shown.size()) {
            const int itemWidth = std::min(shown[end]->sizeHint().width(), width);
            const int needed = used + (end > first ? spacing_ : 0) + itemWidth;
            if (end > first && needed > width) break;
            used = needed;
            lineHeight = std::max(lineHeight, shown[end]->sizeHint().height());
            ++end;
        }
        int expanding = 0;
        for (qsizetype i = first; i < end; ++i)
            expanding += (shown[i]->expandingDirections() & Qt::Horizontal) ? 1 : 0;
        int spare = std::max(0, width - used);
        if (apply) {
            int x = area.left();
            for (qsizetype i = first; i < end; ++i) {
                int itemWidth = std::min(shown[i]->sizeHint().width(), width);
                if (expanding > 0 && (shown[i]->expandingDirections() & Qt::Horizontal)) {
                    const int share = spare / expanding--;
                    itemWidth += share;
                    spare -= share;
                }
                const int itemHeight = std::min(shown[i]->sizeHint().height(), lineHeight);
                shown[i]->setGeometry(QRect(x, y + (lineHeight - itemHeight) / 2, itemWidth, itemHeight));
                x += itemWidth + spacing_;
            }
        }
        y += lineHeight + spacing_;
        ++lines;
        first = end;
    }
    if (apply) lines_ = lines;
    const int used = lines > 0 ? y - spacing_ - area.top() : 0;
    const QMargins margins = contentsMargins();
    return used + margins.top() + margins.bottom();
}

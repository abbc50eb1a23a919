// A row of widgets that wraps to further lines when the width does not hold
// them all, as words wrap in a paragraph. Each item keeps its size hint's
// width (only an item wider than the whole line is narrowed to it); the room
// left on a line goes to the items that expand horizontally.
#pragma once

#include <QLayout>
#include <QList>

class TFlowLayout : public QLayout {
public:
    explicit TFlowLayout(QWidget* parent = nullptr, int spacing = 6);
    ~TFlowLayout() override;

    void addItem(QLayoutItem* item) override;
    int count() const override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;

    Qt::Orientations expandingDirections() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize minimumSize() const override;
    QSize sizeHint() const override;
    void setGeometry(const QRect& rect) override;

    // The lines the items took at the last layout (for tests).
    int LineCount() const { return lines_; }

private:
    // Places the items in `rect` (only measures when `apply` is false) and
    // returns the height used.
    int Arrange(const QRect& rect, bool apply) const;

    QList<QLayoutItem*> items_;
    int spacing_;
    mutable int lines_ = 0;
    // The width of the last layout, which the minimum height is for.
    int width_ = 0;
};

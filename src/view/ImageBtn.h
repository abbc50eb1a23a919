// TImageBtn: a push button made of two pictures. It shows `Picture` and,
// while a mouse button is held down on it with the pointer inside, the
// pressed picture `Picture2`. Used for the about and exit buttons of the
// main window's bottom bar.
#pragma once

#include <QPixmap>
#include <QWidget>

class TImageBtn : public QWidget {
    Q_OBJECT
public:
    explicit TImageBtn(QWidget* parent = nullptr);

    // The picture shown now; setting it resizes the control (automatic sizing).
    QPixmap Picture() const { return picture_; }
    void SetPicture(const QPixmap& picture);
    // The pressed picture; setting it stores a copy.
    QPixmap Picture2() const { return picture2_; }
    void SetPicture2(const QPixmap& picture) { picture2_ = picture; }

    bool ShowingPressed() const { return showingPressed_; }

    QSize sizeHint() const override;

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void ShowPressed();
    void ShowNormal();

    QPixmap picture_;
    QPixmap picture2_;
    QPixmap savedPicture_;
    bool showingPressed_ = false;
    bool mouseHeld_ = false;
};

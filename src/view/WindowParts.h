// Parts the main window's tabs share: the pictures drawn by the program
// (it ships no image files), the tabs' coloured headers and side panels, the
// number fields, and the conversion of the document's Windows-1252 names.
#pragma once

#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QSpinBox>
#include <QString>
#include <string>

class QDialog;
class QFrame;

// A one-line label that shows as much of its text as its width allows and
// ends it in "…" where it is cut; the whole text is then its tooltip. Its
// minimum width is small, so that a long text never widens the window.
class TElidedLabel : public QLabel {
public:
    explicit TElidedLabel(QWidget* parent = nullptr);
    // Sets the text (and the tooltip, when the text does not fit).
    void SetText(const QString& text);
    bool IsElided() const;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QString ShownText() const;
    void UpdateToolTip();
};

// A spin field whose text, when it is not a number (an emptied field), reads
// as the field's minimum, so that emptying the page field shows page 1.
class TSpinEdit : public QSpinBox {
public:
    using QSpinBox::QSpinBox;

protected:
    QValidator::State validate(QString& text, int& pos) const override {
        if (text.trimmed().isEmpty()) return QValidator::Acceptable;
        return QSpinBox::validate(text, pos);
    }
    int valueFromText(const QString& text) const override {
        bool ok = false;
        const int value = text.trimmed().toInt(&ok);
        return ok ? value : minimum();
    }
};

QString FromCp1252(const std::string& s);
std::string ToCp1252(const QString& s);

// The tabs' icons and the window's icon (the letter).
QIcon FolderIcon();
QIcon LetterIcon();
QIcon InfoIcon();
QIcon DiskIcon();
// The bottom bar's round buttons, up and pressed.
QPixmap InfoButtonPicture(bool pressed);
QPixmap ExitButtonPicture(bool pressed);
// The side panels' pictures: a sheet with the "i", a disk.
QPixmap SheetPicture();
QPixmap DiskPicture();

// The width a window needs for its title to be read whole in the title bar
// (the title in a title bar's font, its icon and buttons beside it).
int TitleBarWidth(const QString& title);
// Widens a dialog's layout to TitleBarWidth: a message box with a short
// text is otherwise so narrow that the window manager cuts its title.
void KeepTitleReadable(QDialog& dialog);

// The bold caption bar at the top of each tab; a long caption wraps.
QLabel* MakeHeader(const QString& text, QWidget* parent);
// The green panel at the left of a tab, with a title and a picture.
QFrame* MakeSidePanel(const QString& title, const QPixmap& picture, QWidget* parent);

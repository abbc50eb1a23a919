// Parts the main window's tabs share: the pictures drawn by the program
// (it ships no image files), the tabs' coloured headers and side panels, the
// number fields, and the conversion of the document's Windows-1252 names.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSpinBox>
#include <QString>
#include <string>

class QFrame;
class QLabel;

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

// The bold caption bar at the top of each tab.
QLabel* MakeHeader(const QString& text, QWidget* parent);
// The green panel at the left of a tab, with a title and a picture.
QFrame* MakeSidePanel(const QString& title, const QPixmap& picture, QWidget* parent);

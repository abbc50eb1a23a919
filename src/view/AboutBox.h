// TAboutBox ("Info"): the program, its maker and the way to the manual.
// Created for each showing and destroyed when it closes.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);

    // Puts the year in place of the first "XXXX" of `text`; without one the
    // year goes in front of the text.
    static QString InsertYear(const QString& text, int year);

    QLabel* ProductName = nullptr;
    QLabel* YearLine = nullptr;
    QPushButton* BitBtnXP1 = nullptr;
    QPushButton* BitBtn1 = nullptr;

    // "Hinweise zum Programm" closed the box: the manual is wanted. The box
    // is modal, so the window opens the manual once it is closed.
    bool HelpWanted() const { return helpWanted_; }

private:
    void FormCreate();
    void BitBtnXP1Click();

    bool helpWanted_ = false;
};

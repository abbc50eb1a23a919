// TAboutBox ("Info"): the program, its maker and a link to the maker's page.
// Created for each showing and destroyed when it closes.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    // `linkTarget`: what the web-address button opens.
    explicit TAboutBox(const QString& linkTarget, QWidget* parent = nullptr);

    // Puts the year in place of the first "XXXX" of `text`; without one the
    // year goes in front of the text.
    static QString InsertYear(const QString& text, int year);

    QLabel* ProductName = nullptr;
    QLabel* YearLine = nullptr;
    QPushButton* BitBtnXP1 = nullptr;
    QPushButton* BitBtn1 = nullptr;

private:
    void FormCreate();
    void BitBtnXP1Click();

    QString linkTarget_;
};

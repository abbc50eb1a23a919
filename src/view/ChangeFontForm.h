// TChangeFontForm ("Schriftart wechseln"): the replacement dialog of the
// font table. The window fills ComboBox1 with the names the page offers;
// "Neue Schriftart hinzufügen..." adds an installed TrueType font to the
// document and offers it at once.
#pragma once

#include <QDialog>
#include <QFont>
#include <functional>

class QComboBox;
class QPushButton;
class TPdfDocument;

class TChangeFontForm : public QDialog {
    Q_OBJECT
public:
    explicit TChangeFontForm(TPdfDocument& doc, QWidget* parent = nullptr);

    // OK is enabled iff the list has entries and one is selected.
    void ComboBox1Change();
    void NewFontBtnClick();

    // Answers the font chooser instead of showing it (tests): gets the
    // initial font, returns whether the user chose OK.
    std::function<bool(QFont&)> fontChooserHook;

    QComboBox* ComboBox1 = nullptr;
    QPushButton* NewFontBtn = nullptr;
    QPushButton* OkBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

private:
    bool ChooseFont(QFont& font);

    TPdfDocument& doc_;
    QFont chooserFont_;
};

// TChangeFontForm ("Schriftart wechseln"): the replacement dialog of the
// font table. The window fills ComboBox1 with the fonts the page offers,
// each shown as "/F1 (Times-Roman)" with its resource name as item data;
// "Neue Schriftart hinzufügen..." adds an installed TrueType font to the
// document and offers it at once. When the chosen font is an added one,
// the dialog says which characters of the replaced text it lacks, and
// offers to embed it and to keep the old widths. A choice that would lose
// text (see ReplacementChecks.h) is explained and cannot be confirmed.
#pragma once

#include <QDialog>
#include <QFont>
#include <cstdint>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class TPdfDocument;

class TChangeFontForm : public QDialog {
    Q_OBJECT
public:
    explicit TChangeFontForm(TPdfDocument& doc, QWidget* parent = nullptr);

    // The resource name of the font chosen in the list (empty: none).
    QString ChosenResourceName() const;

    // OK is enabled iff the list has entries and one is selected.
    void ComboBox1Change();
    void NewFontBtnClick();
    // The font record (fontList index) that the dialog replaces; -1 for none.
    void SetReplacedFont(int32_t fontIndex);
    // Shows what the chosen pair means: why it cannot be made, missing
    // characters, licence, and the chosen added font's check box states.
    void UpdateReplacementInfo();
    // The chosen font would lose text in place of the replaced one: the
    // dialog says why and offers no OK.
    bool ChoiceRefused() const { return refused_; }
    // Stores the check boxes in the chosen added font (after OK).
    void StoreChoices();

    // Answers the font chooser instead of showing it (tests): gets the
    // initial font, returns whether the user chose OK.
    std::function<bool(QFont&)> fontChooserHook;

    QComboBox* ComboBox1 = nullptr;
    QPushButton* NewFontBtn = nullptr;
    QPushButton* OkBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
    QCheckBox* EmbedBox = nullptr;
    QCheckBox* KeepWidthsBox = nullptr;
    // "auf allen Seiten, die diese Schriftart verwenden": off each time the
    // dialog opens, so that a replacement is made on the shown page unless
    // asked otherwise.
    QCheckBox* AllPagesBox = nullptr;
    QLabel* ReplacementInfo = nullptr;

private:
    bool ChooseFont(QFont& font);
    // fontList index of the added font chosen in the list, or -1.
    int32_t ChosenAddedFont() const;

    TPdfDocument& doc_;
    QFont chooserFont_;
    int32_t replacedFont_ = -1;
    bool refused_ = false;
};

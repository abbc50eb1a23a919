// TEmbedFontsForm ("Fehlende Schriften einbetten"): every font of the
// document that is not embedded, once however many pages use it, with the
// face that replaces it (by rule or fontconfig's proposal), whether that
// face keeps the widths and has every character the pages use. Each row's
// choice can be changed; OK sets the replacements on every page. The rules
// can be saved to and loaded from a text file.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

#include "MissingFonts.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;
class TPdfDocument;

class TEmbedFontsForm : public QDialog {
    Q_OBJECT
public:
    enum TColumn { NameColumn, PagesColumn, ChoiceColumn, WidthsColumn, CharactersColumn, ColumnCount };

    explicit TEmbedFontsForm(TPdfDocument& doc, QWidget* parent = nullptr);

    // Reads the document's fonts and fills the table by the current rules.
    void Fill();
    // The family chosen in a row's list; empty for "nicht ersetzen".
    QString ChosenFamily(int row) const;
    // Chooses a family in a row (added to its list when missing).
    void ChooseFamily(int row, const QString& family);
    // Sets the replacements of every row on all their pages (after OK).
    // Returns the rows whose choice could not be made, as "font → family".
    QStringList Apply();
    // Whether the family chosen in a row can be embedded (true for "nicht
    // ersetzen").
    bool ChoiceEmbeddable(int row) const;
    // The rows' choices as rules: "Name=Family" for each replaced font.
    std::vector<TReplacementRule> RowRules() const;

    void SaveRulesBtnClick();
    void LoadRulesBtnClick();

    // Answer the file dialogs instead of showing them (tests): the chosen
    // path, or nothing for Cancel.
    std::function<std::optional<QString>()> saveRulesFileHook;
    std::function<std::optional<QString>()> loadRulesFileHook;
    // Receives an error text instead of a message box (tests).
    std::function<void(const QString&)> errorHook;

    // OK: refused, with a message, while a row's choice cannot be embedded;
    // the dialog stays open for another choice.
    void accept() override;

    QTableWidget* Table = nullptr;
    QLabel* Summary = nullptr;
    QPushButton* LoadRulesBtn = nullptr;
    QPushButton* SaveRulesBtn = nullptr;
    QPushButton* OkBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

private:
    void FillRow(int row, const TFontChoice& choice);
    void FitToTable();
    void FitChoiceColumn();
    void UpdateChecks(int row);
    void ShowError(const QString& text);
    // The rules file to write or read (the hook's answer in tests); nothing
    // or an empty name: cancelled.
    std::optional<QString> AskRulesFileName(bool forSaving);
    QComboBox* ChoiceBox(int row) const;

    TPdfDocument& doc_;
    std::vector<TReplacementRule> rules_;
    std::vector<TDocumentFont> fonts_;  // the table's rows
    std::vector<bool> embeddable_;      // per row, as UpdateChecks found
    QStringList families_;
};

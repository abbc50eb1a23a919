#include "EmbedFontsForm.h"

#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStringList>
#include <QStyleOptionComboBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <variant>

#include "PdfDocument.h"
#include "PdfText.h"
#include "NoticeTexts.h"
#include "RefusalMessages.h"
#include "ReplacementChecks.h"

namespace {

QTableWidgetItem* ReadOnlyItem(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    // A column too narrow for its text still lets it be read whole.
    item->setToolTip(text);
    return item;
}

void SetCellText(QTableWidgetItem* item, const QString& text) {
    item->setText(text);
    item->setToolTip(text);
}

// Only fonts that are not embedded are listed; embedded ones stay unless a
// rule names them, and then they are listed too.
bool Listed(const TDocumentFont& font, const TFontChoice& choice) {
    if (font.type3) return false;
    return !font.embedded || choice.kind == TChoiceKind::Rule || choice.kind == TChoiceKind::MissingFace;
}

}  // namespace

TEmbedFontsForm::TEmbedFontsForm(TPdfDocument& doc, QWidget* parent) : QDialog(parent), doc_(doc) {
    setWindowTitle("Fehlende Schriften einbetten");
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(
        "Diese Schriftarten sind nicht in die PDF-Datei eingebettet. Sie werden durch die gewählten "
        "installierten Schriftarten ersetzt und eingebettet; jedes Zeichen behält seine Breite.",
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    Table = new QTableWidget(0, ColumnCount, this);
    Table->setHorizontalHeaderLabels(
        {"Schriftart", "Seiten", "Ersetzen durch", "Breiten bleiben", "Alle Zeichen vorhanden"});
    // The short columns are as wide as their captions and texts; the names
    // and the choice share the rest. What still does not fit is in the
    // cell's tooltip, and the table scrolls sideways.
    QHeaderView* header = Table->horizontalHeader();
    for (int column : {PagesColumn, WidthsColumn, CharactersColumn})
        header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    // As wide as the longest choice shown (see FitChoiceColumn).
    header->setSectionResizeMode(ChoiceColumn, QHeaderView::Interactive);
    for (int column = 0; column < ColumnCount; ++column)
        Table->horizontalHeaderItem(column)->setToolTip(Table->horizontalHeaderItem(column)->text());
    Table->verticalHeader()->hide();
    Table->setSelectionBehavior(QAbstractItemView::SelectRows);
    layout->addWidget(Table);
    Summary = new QLabel(this);
    Summary->setWordWrap(true);
    layout->addWidget(Summary);

    auto* buttons = new QHBoxLayout;
    LoadRulesBtn = new QPushButton("Regeln laden...", this);
    SaveRulesBtn = new QPushButton("Regeln speichern...", this);
    OkBtn = new QPushButton("OK", this);
    CancelBtn = new QPushButton("Abbrechen", this);
    OkBtn->setDefault(true);
    buttons->addWidget(LoadRulesBtn);
    buttons->addWidget(SaveRulesBtn);
    buttons->addStretch();
    buttons->addWidget(OkBtn);
    buttons->addWidget(CancelBtn);
    layout->addLayout(buttons);
    connect(LoadRulesBtn, &QPushButton::clicked, this, &TEmbedFontsForm::LoadRulesBtnClick);
    connect(SaveRulesBtn, &QPushButton::clicked, this, &TEmbedFontsForm::SaveRulesBtnClick);
    connect(OkBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void TEmbedFontsForm::Fill() {
    if (families_.isEmpty())
        for (const std::string& family : EmbeddableFamilies()) families_ << QString::fromStdString(family);
    Table->setRowCount(0);
    fonts_.clear();
    embeddable_.clear();
    int unmatched = 0, similar = 0;
    for (TDocumentFont& font : DocumentFonts(doc_)) {
        const TFontChoice choice = ChooseReplacement(font, rules_);
        if (!Listed(font, choice)) continue;
        const int row = Table->rowCount();
        Table->insertRow(row);
        fonts_.push_back(std::move(font));
        embeddable_.push_back(true);
        FillRow(row, choice);
        if (!choice.Replaces()) ++unmatched;
        if (choice.kind == TChoiceKind::Substitute) ++similar;
    }
    FitChoiceColumn();
    if (!isVisible()) FitToTable();
    if (Table->rowCount() == 0) {
        // An empty table alone would look as if the dialog did not work.
        Summary->setText("Alle Schriftarten dieser Datei sind eingebettet; es gibt nichts zu ersetzen.");
        return;
    }
    QStringList summary;
    if (similar > 0)
        summary << QString("Für %1 Schriftart(en) ist keine metrisch passende Schriftart installiert; sie werden "
                           "durch eine ähnliche ersetzt, jedes Zeichen behält seine Breite.")
                       .arg(similar);
    if (unmatched > 0)
        summary << QString("Für %1 Schriftart(en) gibt es keine gute Entsprechung; sie bleiben "
                           "ohne Auswahl nicht eingebettet.")
                       .arg(unmatched);
    Summary->setText(summary.join(" "));
}

void TEmbedFontsForm::FillRow(int row, const TFontChoice& choice) {
    const TDocumentFont& font = fonts_[static_cast<size_t>(row)];
    Table->setItem(row, NameColumn, ReadOnlyItem(QString::fromStdString(Cp1252ToUtf8(font.baseFont))));
    Table->setItem(row, PagesColumn, ReadOnlyItem(QString::fromStdString(PagesText(font.pages))));
    Table->setItem(row, WidthsColumn, ReadOnlyItem(QString()));
    Table->setItem(row, CharactersColumn, ReadOnlyItem(QString()));

    auto* box = new QComboBox(Table);
    box->addItem(choice.kind == TChoiceKind::NoGoodMatch ? "keine gute Entsprechung" : "nicht ersetzen", QString());
    if (choice.face) {
        const QString family = QString::fromStdString(choice.face->family);
        const QString note = choice.kind == TChoiceKind::Rule         ? " (Regel)"
                             : choice.kind == TChoiceKind::Proposal   ? " (Vorschlag)"
                             : choice.kind == TChoiceKind::Substitute ? " (ähnliche Schriftart)"
                                                                      : " (nur Ersatz)";
        box->addItem(family + note, family);
    }
    for (const QString& family : families_) box->addItem(family, family);
    box->setCurrentIndex(choice.Replaces() ? 1 : 0);
    box->setToolTip(box->currentText());
    Table->setCellWidget(row, ChoiceColumn, box);
    connect(box, &QComboBox::currentIndexChanged, this, [this, row, box] {
        box->setToolTip(box->currentText());
        UpdateChecks(row);
        FitChoiceColumn();
    });
    UpdateChecks(row);
}

void TEmbedFontsForm::FitChoiceColumn() {
    // The choice shown in each row, with the list's arrow and frame: the
    // lists hold every installed family, so their own size hint is that
    // of the longest family name anywhere.
    int width = Table->horizontalHeader()->sectionSizeHint(ChoiceColumn);
    for (int row = 0; row < Table->rowCount(); ++row) {
        const QComboBox* box = ChoiceBox(row);
        if (!box) continue;
        QStyleOptionComboBox option;
        option.initFrom(box);
        const QSize text(box->fontMetrics().horizontalAdvance(box->currentText()), box->fontMetrics().height());
        width = std::max(width, box->style()->sizeFromContents(QStyle::CT_ComboBox, &option, text, box).width() + 8);
    }
    Table->horizontalHeader()->resizeSection(ChoiceColumn, width);
}

void TEmbedFontsForm::FitToTable() {
    // Every column at the width its caption and texts ask for, as far as
    // the screen allows.
    int width = 2 * Table->frameWidth() + Table->verticalScrollBar()->sizeHint().width();
    for (int column = 0; column < ColumnCount; ++column)
        width += std::max(Table->horizontalHeader()->sectionSizeHint(column),
                          static_cast<const QAbstractItemView*>(Table)->sizeHintForColumn(column));
    const QMargins margins = layout()->contentsMargins();
    QSize wanted(std::max(760, width + margins.left() + margins.right()), 380);
    if (const QScreen* screen = this->screen()) wanted = wanted.boundedTo(screen->availableGeometry().size() * 9 / 10);
    resize(wanted);
}

QComboBox* TEmbedFontsForm::ChoiceBox(int row) const {
    return qobject_cast<QComboBox*>(Table->cellWidget(row, ChoiceColumn));
}

QString TEmbedFontsForm::ChosenFamily(int row) const {
    const QComboBox* box = ChoiceBox(row);
    return box ? box->currentData().toString() : QString();
}

void TEmbedFontsForm::ChooseFamily(int row, const QString& family) {
    QComboBox* box = ChoiceBox(row);
    if (!box) return;
    int index = box->findData(family);
    if (index < 0) {
        box->addItem(family, family);
        index = box->count() - 1;
    }
    box->setCurrentIndex(index);
}

void TEmbedFontsForm::UpdateChecks(int row) {
    const TDocumentFont& font = fonts_[static_cast<size_t>(row)];
    const QString family = ChosenFamily(row);
    QString widths, characters;
    if (!family.isEmpty()) {
        const auto face = FindInstalledFace(family.toStdString(), font.style);
        const auto check = face ? CheckChoice(doc_, font, *face) : std::nullopt;
        if (!check) {
            widths = "nicht einbettbar";
        } else if (check->unknownCharacters > 0) {
            // The pages that show those codes keep the old font.
            TRefusedReplacement refusal;
            refusal.oldFont = font.baseFont;
            refusal.newFont = Utf8ToCp1252(family.toStdString());
            refusal.unknownCharacters = check->unknownCharacters;
            widths = check->keepsWidths ? "ja" : "nein";
            characters = QString::fromStdString(RefusalSentence(refusal));
        } else {
            widths = check->keepsWidths ? "ja" : "nein";
            characters = check->missing.empty()
                             ? "ja"
                             : "fehlen: " + QString::fromStdString(MissingCharactersText(check->missing));
        }
    }
    embeddable_[static_cast<size_t>(row)] = family.isEmpty() || widths != "nicht einbettbar";
    SetCellText(Table->item(row, WidthsColumn), widths);
    SetCellText(Table->item(row, CharactersColumn), characters);
}

bool TEmbedFontsForm::ChoiceEmbeddable(int row) const {
    return row >= 0 && static_cast<size_t>(row) < embeddable_.size() && embeddable_[static_cast<size_t>(row)];
}

void TEmbedFontsForm::accept() {
    QStringList refused;
    for (int row = 0; row < Table->rowCount(); ++row)
        if (!ChoiceEmbeddable(row)) refused << Table->item(row, NameColumn)->text() + " → " + ChosenFamily(row);
    if (refused.isEmpty()) {
        QDialog::accept();
        return;
    }
    ShowError("Diese Wahl kann nicht eingebettet werden, weil es keine installierte TrueType- oder OpenType-Schriftart ist:\n" +
              refused.join("\n") + "\n\nBitte wählen Sie eine andere Schriftart oder „nicht ersetzen“.");
}

QStringList TEmbedFontsForm::Apply() {
    std::vector<TFontChoice> choices(fonts_.size());
    for (size_t row = 0; row < fonts_.size(); ++row) {
        const QString family = ChosenFamily(static_cast<int>(row));
        if (family.isEmpty()) continue;
        choices[row].face = FindInstalledFace(family.toStdString(), fonts_[row].style);
        choices[row].kind = TChoiceKind::Rule;
    }
    const std::vector<std::string> names = ApplyChoices(doc_, fonts_, choices);
    // The rows said so: pages that show characters no one can name keep
    // their old font.
    WithdrawReplacements(doc_, RefusedReplacements(doc_));
    QStringList notDone;
    for (size_t row = 0; row < fonts_.size(); ++row) {
        const QString family = ChosenFamily(static_cast<int>(row));
        if (!family.isEmpty() && (row >= names.size() || names[row].empty()))
            notDone << Table->item(static_cast<int>(row), NameColumn)->text() + " → " + family;
    }
    return notDone;
}

std::vector<TReplacementRule> TEmbedFontsForm::RowRules() const {
    std::vector<TReplacementRule> rules;
    for (size_t row = 0; row < fonts_.size(); ++row) {
        const QString family = ChosenFamily(static_cast<int>(row));
        if (family.isEmpty()) continue;
        TReplacementRule rule;
        // The name as it stands, without a tag that changes with every
        // subset; the face follows the old font's style.
        rule.pattern = WithoutSubsetTag(fonts_[row].baseFont);
        rule.family = family.toStdString();
        rules.push_back(rule);
    }
    return rules;
}

std::optional<QString> TEmbedFontsForm::AskRulesFileName(bool forSaving) {
    const auto& hook = forSaving ? saveRulesFileHook : loadRulesFileHook;
    if (hook) return hook();
    const QString filter = "Regeln (*.txt);;Alle Dateien (*)";
    return forSaving ? QFileDialog::getSaveFileName(this, "Regeln speichern", QString(), filter)
                     : QFileDialog::getOpenFileName(this, "Regeln laden", QString(), filter);
}

void TEmbedFontsForm::SaveRulesBtnClick() {
    const std::optional<QString> path = AskRulesFileName(true);
    if (!path || path->isEmpty()) return;
    if (!SaveRulesFile(path->toStdString(), RowRules()))
        ShowError("Die Regeln konnten nicht gespeichert werden: " + *path);
}

void TEmbedFontsForm::LoadRulesBtnClick() {
    const std::optional<QString> path = AskRulesFileName(false);
    if (!path || path->isEmpty()) return;
    auto loaded = LoadRulesFile(path->toStdString());
    if (const auto* error = std::get_if<TRuleError>(&loaded)) {
        const QString where = error->line > 0 ? QString("Zeile %1: ").arg(error->line) : QString();
        ShowError(where + QString::fromStdString(RuleErrorText(*error)));
        return;
    }
    rules_ = std::get<std::vector<TReplacementRule>>(std::move(loaded));
    Fill();
}

void TEmbedFontsForm::ShowError(const QString& text) {
    if (errorHook) errorHook(text);
    else QMessageBox::critical(this, "Fehler", text);
}

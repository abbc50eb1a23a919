#include "EmbedFontsForm.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTableWidget>
#include <QVBoxLayout>
#include <variant>

#include "PdfDocument.h"
#include "PdfText.h"

namespace {

QString PagesText(const std::vector<int32_t>& pages) {
    QStringList parts;
    for (size_t i = 0; i < pages.size();) {
        size_t j = i;
        while (j + 1 < pages.size() && pages[j + 1] == pages[j] + 1) ++j;
        parts << (j > i ? QString("%1-%2").arg(pages[i]).arg(pages[j]) : QString::number(pages[i]));
        i = j + 1;
    }
    return parts.join(", ");
}

QTableWidgetItem* ReadOnlyItem(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

// Only fonts that are not embedded are listed; embedded ones stay unless a
// rule names them, and then they are listed too.
bool Listed(const TDocumentFont& font, const TFontChoice& choice) {
    if (font.type3 || font.composite) return false;
    return !font.embedded || choice.kind == TChoiceKind::Rule || choice.kind == TChoiceKind::MissingFace;
}

}  // namespace

TEmbedFontsForm::TEmbedFontsForm(TPdfDocument& doc, QWidget* parent) : QDialog(parent), doc_(doc) {
    setWindowTitle("Fehlende Schriften einbetten");
    resize(760, 380);
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
    Table->horizontalHeader()->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    Table->horizontalHeader()->setSectionResizeMode(ChoiceColumn, QHeaderView::Stretch);
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
    if (families_.isEmpty()) families_ = QFontDatabase::families();
    Table->setRowCount(0);
    fonts_.clear();
    int unmatched = 0, similar = 0;
    for (TDocumentFont& font : DocumentFonts(doc_)) {
        const TFontChoice choice = ChooseReplacement(font, rules_);
        if (!Listed(font, choice)) continue;
        const int row = Table->rowCount();
        Table->insertRow(row);
        fonts_.push_back(std::move(font));
        FillRow(row, choice);
        if (!choice.Replaces()) ++unmatched;
        if (choice.kind == TChoiceKind::Substitute) ++similar;
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
    Table->setItem(row, PagesColumn, ReadOnlyItem(PagesText(font.pages)));
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
    Table->setCellWidget(row, ChoiceColumn, box);
    connect(box, &QComboBox::currentIndexChanged, this, [this, row] { UpdateChecks(row); });
    UpdateChecks(row);
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
            widths = "keine TrueType-Schriftart";
        } else {
            widths = check->keepsWidths ? "ja" : "nein";
            characters = check->missing.empty()
                             ? "ja"
                             : "fehlen: " + QString::fromStdString(MissingCharactersText(check->missing));
        }
    }
    Table->item(row, WidthsColumn)->setText(widths);
    Table->item(row, CharactersColumn)->setText(characters);
}

void TEmbedFontsForm::Apply() {
    std::vector<TFontChoice> choices(fonts_.size());
    for (size_t row = 0; row < fonts_.size(); ++row) {
        const QString family = ChosenFamily(static_cast<int>(row));
        if (family.isEmpty()) continue;
        choices[row].face = FindInstalledFace(family.toStdString(), fonts_[row].style);
        choices[row].kind = TChoiceKind::Rule;
    }
    ApplyChoices(doc_, fonts_, choices);
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
        ShowError(where + QString::fromStdString(error->message));
        return;
    }
    rules_ = std::get<std::vector<TReplacementRule>>(std::move(loaded));
    Fill();
}

void TEmbedFontsForm::ShowError(const QString& text) {
    if (errorHook) errorHook(text);
    else QMessageBox::critical(this, "Fehler", text);
}

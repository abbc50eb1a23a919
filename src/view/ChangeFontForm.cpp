#include "ChangeFontForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "AddedFonts.h"
#include "FontNames.h"
#include "PdfDocument.h"
#include "RefusalMessages.h"
#include "ReplacementChecks.h"
#include "ReplacementFonts.h"
#include "SaveMessages.h"

TChangeFontForm::TChangeFontForm(TPdfDocument& doc, QWidget* parent) : QDialog(parent), doc_(doc) {
    setWindowTitle("Schriftart wechseln");
    setModal(true);

    chooserFont_ = QFont("Sans Serif");
    chooserFont_.setPixelSize(11);

    auto* caption = new QLabel("Schriftart:", this);
    ComboBox1 = new QComboBox(this);
    ComboBox1->setEditable(false);
    ComboBox1->setMinimumWidth(260);
    caption->setBuddy(ComboBox1);
    // `activated` comes from the user only: selecting the added font by
    // program must leave OK as it was.
    connect(ComboBox1, &QComboBox::activated, this, [this](int) { ComboBox1Change(); });
    connect(ComboBox1, &QComboBox::currentIndexChanged, this, [this](int) { UpdateReplacementInfo(); });

    NewFontBtn = new QPushButton("Neue Schriftart hinzufügen...", this);
    NewFontBtn->setAutoDefault(false);
    connect(NewFontBtn, &QPushButton::clicked, this, &TChangeFontForm::NewFontBtnClick);

    auto* infoPanel = new QFrame(this);
    infoPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto* info = new QLabel(
        "Achtung: bei einigen Schriftarten sind eventuell nicht alle Zeichen definiert, sondern nur einige "
        "wenige Zeichen.",
        infoPanel);
    info->setWordWrap(true);
    auto* infoLayout = new QVBoxLayout(infoPanel);
    infoLayout->addWidget(info);

    EmbedBox = new QCheckBox("Schriftart in die Datei einbetten", this);
    EmbedBox->setChecked(true);
    KeepWidthsBox = new QCheckBox("Zeichenbreiten der alten Schriftart beibehalten", this);
    KeepWidthsBox->setChecked(true);
    AllPagesBox = new QCheckBox("auf allen Seiten, die diese Schriftart verwenden", this);
    AllPagesBox->setToolTip(
        "Ersetzt die Schriftart überall, wo die Datei sie benutzt, statt nur auf der angezeigten Seite");
    ReplacementInfo = new QLabel(this);
    ReplacementInfo->setWordWrap(true);
    ReplacementInfo->setMaximumWidth(360);
    ReplacementInfo->setTextInteractionFlags(Qt::TextSelectableByMouse);

    OkBtn = new QPushButton("OK", this);
    OkBtn->setEnabled(false);
    OkBtn->setDefault(true);
    CancelBtn = new QPushButton("Abbrechen", this);
    CancelBtn->setAutoDefault(false);
    connect(OkBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OkBtn);
    buttons->addWidget(CancelBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(caption);
    layout->addWidget(ComboBox1);
    layout->addWidget(AllPagesBox);
    layout->addWidget(NewFontBtn, 0, Qt::AlignLeft);
    layout->addWidget(EmbedBox);
    layout->addWidget(KeepWidthsBox);
    layout->addWidget(ReplacementInfo);
    layout->addWidget(infoPanel);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TChangeFontForm::ComboBox1Change() {
    OkBtn->setEnabled(ComboBox1->count() > 0 && ComboBox1->currentIndex() >= 0 && !refused_);
}

bool TChangeFontForm::ChooseFont(QFont& font) {
    if (fontChooserHook) return fontChooserHook(font);
    QFontDialog dialog(font, this);
    dialog.setOption(QFontDialog::ScalableFonts);
    dialog.setWindowTitle("Schriftart");
    if (dialog.exec() != QDialog::Accepted) return false;
    font = dialog.selectedFont();
    return true;
}

void TChangeFontForm::NewFontBtnClick() {
    QFont font = chooserFont_;
    if (!ChooseFont(font)) return;
    if (!font.family().isEmpty()) chooserFont_ = font;
    const std::string family = Utf8ToCp1252(chooserFont_.family().toStdString());
    const bool bold = chooserFont_.weight() >= QFont::DemiBold;
    const bool italic = chooserFont_.italic();
    const std::optional<std::string> resName = AddInstalledFont(doc_, family, bold, italic);
    if (!resName) {
        doc_.Ui().ShowMessage("Zur Schriftart \"" + chooserFont_.family().toStdString() +
                                  "\" wurde keine installierte TrueType- oder OpenType-Schriftdatei gefunden!",
                              TMsgIcon::Error);
        return;
    }
    const QString resText = QString::fromStdString(Cp1252ToUtf8(*resName));
    QString caption = resText;
    for (const TFontRecord& record : doc_.fontList)
        if (record.hidden && record.resName == *resName) caption = FontCaption(record);
    ComboBox1->addItem(caption, resText);
    ComboBox1->setCurrentIndex(ComboBox1->count() - 1);
}

void TChangeFontForm::SetReplacedFont(int32_t fontIndex) {
    replacedFont_ = fontIndex >= 0 && fontIndex < doc_.fontList.Count() ? fontIndex : -1;
    AllPagesBox->setChecked(false);
    UpdateReplacementInfo();
}

QString TChangeFontForm::ChosenResourceName() const {
    const QVariant resName = ComboBox1->currentData();
    return resName.isValid() ? resName.toString() : ComboBox1->currentText();
}

int32_t TChangeFontForm::ChosenAddedFont() const {
    if (ComboBox1->currentIndex() < 0) return -1;
    const std::string name = Utf8ToCp1252(ChosenResourceName().toStdString());
    for (int32_t i = 0; i < doc_.fontList.Count(); ++i) {
        const TFontRecord& font = doc_.fontList[static_cast<size_t>(i)];
        if (font.hidden && font.resName == name) return i;
    }
    return -1;
}

void TChangeFontForm::UpdateReplacementInfo() {
    refused_ = false;
    if (replacedFont_ >= 0 && ComboBox1->currentIndex() >= 0) {
        const std::string chosen = Utf8ToCp1252(ChosenResourceName().toStdString());
        if (const auto refusal = RefusedReplacement(doc_, replacedFont_, chosen)) {
            refused_ = true;
            OkBtn->setEnabled(false);
            EmbedBox->setEnabled(false);
            KeepWidthsBox->setEnabled(false);
            ReplacementInfo->setText(QString::fromStdString(RefusalSentence(*refusal)));
            return;
        }
    }
    const int32_t added = ChosenAddedFont();
    // Another font of the page is already in the file: nothing to embed,
    // and its widths are its own.
    EmbedBox->setEnabled(added >= 0);
    KeepWidthsBox->setEnabled(added >= 0);
    if (added < 0) {
        ReplacementInfo->clear();
        return;
    }
    const TFontRecord& font = doc_.fontList[static_cast<size_t>(added)];
    EmbedBox->setChecked(font.embed != 0);
    KeepWidthsBox->setChecked(font.keepWidths != 0);
    if (replacedFont_ < 0) {
        ReplacementInfo->clear();
        return;
    }
    const TReplacementReport report = DescribeReplacement(doc_, replacedFont_, added);
    QStringList lines;
    const std::string licence = EmbedStateNotice(report.addedFont, report.embed);
    if (!licence.empty()) lines << QString::fromStdString(licence);
    const std::string missing = MissingCharactersNotice(report);
    if (!missing.empty()) lines << QString::fromStdString(missing);
    if (lines.isEmpty())
        lines << QString::fromStdString(report.addedFont + " enthält alle Zeichen, die auf dieser Seite mit " +
                                        report.oldFont + " gesetzt sind.");
    ReplacementInfo->setText(lines.join("\n"));
}

void TChangeFontForm::StoreChoices() {
    const int32_t added = ChosenAddedFont();
    if (added < 0) return;
    TFontRecord& font = doc_.fontList[static_cast<size_t>(added)];
    font.embed = EmbedBox->isChecked();
    font.keepWidths = KeepWidthsBox->isChecked();
}

// The window's commands on the shown document: the font table's buttons,
// saving, and the message boxes they answer with.
#include "MainForm.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QFontDialog>
#include <QLocale>
#include <QPushButton>
#include <QUrl>

#include "AboutBox.h"
#include "ChangeFontForm.h"
#include "ContentInterpreter.h"
#include "ContentRewrite.h"
#include "EmbedFontsForm.h"
#include "FileBrowser.h"
#include "FontNames.h"
#include "FontTable.h"
#include "FontsTab.h"
#include "HelpWindow.h"
#include "ImageBtn.h"
#include "InfoTab.h"
#include "OpenMessages.h"
#include "OpenOutcome.h"
#include "OpenPDFForm.h"
#include "OpenTab.h"
#include "PageView.h"
#include "PdfWriter.h"
#include "PreviewPane.h"
#include "ReaderBridge.h"
#include "RecentFiles.h"
#include "NoticeTexts.h"
#include "SaveMessages.h"
#include "RefusalMessages.h"
#include "ReplacementChecks.h"
#include "SaveReport.h"
#include "SaveTab.h"
#include "WindowParts.h"

namespace {

const char* const kAppTitle = "PDF Glyphwell";

// The dialog's text for a name ReplacementChoices offers on a page: that
// font's caption (a font of the page, or an added one).
QString ChoiceCaption(const TPdfDocument& doc, int page, const std::string& resName) {
    for (const TFontRecord& font : doc.fontList)
        if (font.resName == resName && (font.hidden == 1 || font.pageIndex == page - 1)) return FontCaption(font);
    return FromCp1252(resName);
}

}  // namespace

// ---- the font table's commands ----------------------------------------------------

void TMainForm::ChangeBtnClick() {
    // The commands wait while a file is read: the table and the font list
    // are being rebuilt underneath them. A file whose permissions forbid
    // changes is only looked at.
    if (reading_ || !doc_->Permissions().modify) return;
    const int row = FontsTab->SelectedFontRow();
    if (row < 0) {
        ShowMessage("Sie haben keinen Eintrag in der Liste der Schriftarten markiert!", TMsgIcon::Error);
        return;
    }
    const int page = FontsTab->CurrentPage();
    if (page < 1 || page > doc_->pageList.Count()) return;

    QComboBox* choices = ChangeFontForm->ComboBox1;
    choices->clear();
    // Shown with the fonts' names; the item's data is the resource name that
    // the replacement is made with.
    for (const std::string& name : ReplacementChoices(*doc_, page))
        choices->addItem(ChoiceCaption(*doc_, page, name), FromCp1252(name));
    // The font the row uses now is selected: OK alone changes nothing.
    const std::vector<int32_t> rows = FontTableRows(*doc_, page);
    const int32_t replaced = row < static_cast<int>(rows.size()) ? rows[static_cast<size_t>(row)] : -1;
    if (replaced >= 0) {
        const TFontRecord& font = doc_->fontList[static_cast<size_t>(replaced)];
        const std::string& current = font.replacementName.empty() ? font.resName : font.replacementName;
        choices->setCurrentIndex(std::max(0, choices->findData(FromCp1252(current))));
    }
    ChangeFontForm->OkBtn->setEnabled(choices->count() > 0 && choices->currentIndex() >= 0);
    ChangeFontForm->SetReplacedFont(replaced);

    const int result = testHooks.changeFont ? testHooks.changeFont(*ChangeFontForm) : ChangeFontForm->exec();
    if (result != QDialog::Accepted || choices->currentIndex() < 0) return;
    const std::string chosen = ToCp1252(ChangeFontForm->ChosenResourceName());
    // The dialog offers no OK for a choice that would lose text; this holds
    // whatever closed it.
    if (row < static_cast<int>(rows.size())) {
        if (const auto refusal = RefusedReplacement(*doc_, rows[static_cast<size_t>(row)], chosen)) {
            ShowMessage(RefusalSentence(*refusal), TMsgIcon::Error);
            return;
        }
    }
    ChangeFontForm->StoreChoices();
    if (ChangeFontForm->AllPagesBox->isChecked() && replaced >= 0) {
        const std::string oldName = doc_->fontList[static_cast<size_t>(replaced)].resName;
        SayReplacedEverywhere(oldName, chosen, SetReplacementEverywhere(*doc_, page, row, chosen));
    } else {
        SetReplacement(*doc_, page, row, chosen);
    }
    RefreshModified();
    FontsTab->ReplacementsChanged();
}

void TMainForm::SayReplacedEverywhere(const std::string& oldName, const std::string& newName,
                                      const TEverywhereOutcome& outcome) {
    const QString oldText = FromCp1252(oldName), newText = FromCp1252(newName);
    const auto pages = [](size_t count) {
        return count == 1 ? QString("1 Seite") : QString("%1 Seiten").arg(QLocale().toString(qulonglong{count}));
    };
    QString text = oldText + " wird auf " + pages(outcome.pagesReplaced.size()) + " durch " + newText + " ersetzt.";
    if (!outcome.pagesWithout.empty())
        text += " Auf " + pages(outcome.pagesWithout.size()) + " gibt es " + newText + " nicht; dort bleibt " +
                oldText + ".";
    SetStatusText(text);
}

void TMainForm::OldFontBtnClick() {
    if (reading_ || !doc_->Permissions().modify) return;
    const int row = FontsTab->SelectedFontRow();
    if (row < 0) return;
    const int page = FontsTab->CurrentPage();
    const std::vector<int32_t> rows = FontTableRows(*doc_, page);
    if (row >= static_cast<int>(rows.size())) return;
    ClearReplacement(*doc_, page, row);
    // Taking back the only change leaves nothing to save.
    RefreshModified();
    FontsTab->ReplacementsChanged();
}

void TMainForm::EmbedFontsBtnClick() {
    if (reading_ || doc_->pageList.Count() == 0 || !doc_->Permissions().modify) return;
    TEmbedFontsForm dialog(*doc_, this);
    dialog.Fill();
    const int result = testHooks.embedFonts ? testHooks.embedFonts(dialog) : dialog.exec();
    if (result != QDialog::Accepted) return;
    const QStringList notDone = dialog.Apply();
    RefreshModified();
    FontsTab->ReplacementsChanged();
    // Every choice is done or said: one that could not be made is named.
    if (!notDone.isEmpty())
        ShowMessage(("Diese Schriftarten wurden nicht ersetzt:\n" + notDone.join("\n")).toStdString(),
                    TMsgIcon::Error);
}

void TMainForm::ChooseFontBtnClick() {
    if (reading_) return;
    QFont font = screenFont_;
    bool accepted = false;
    if (testHooks.screenFont) {
        accepted = testHooks.screenFont(font);
    } else {
        QFontDialog dialog(font, this);
        accepted = dialog.exec() == QDialog::Accepted;
        if (accepted) font = dialog.selectedFont();
    }
    // After Cancel the dialog still holds its previous font, and the label is
    // written from it all the same.
    if (accepted) screenFont_ = font;
    ApplyScreenFont();
}

void TMainForm::ApplyScreenFont() {
    OpenTab->FontLabel->setText("Optimieren auf: " + screenFont_.family());
    measurer_.SetFont(screenFont_.family().toStdString(), screenFont_.weight() >= QFont::DemiBold,
                      screenFont_.italic());
    FontsTab->PageView->SetDisplayFont(screenFont_);
    FontsTab->PageView->Refresh();
}

// ---- information and saving ------------------------------------------------------

void TMainForm::SaveBtnClick() {
    if (reading_) return;
    if (!doc_->Permissions().modify) {
        // The button is disabled then; this answers the keyboard shortcut.
        SetStatusText(QString::fromStdString(ModifyForbiddenText()));
        return;
    }
    if (!DocumentIsSavable(*doc_)) {
        // The button is disabled then; this answers the keyboard shortcut.
        SetStatusText("Keine vollständig gelesene PDF-Datei geöffnet - nichts zu speichern.");
        return;
    }
    if (!TakeBackRefusedReplacements()) return;
    const std::optional<std::string> path = AskSaveFileName();
    if (!path) return;
    TellUndecodablePages(*doc_);
    TWriteOptions options;
    options.info = infoEdits_;
    const TWriteOutcome outcome = WritePdfFile(*doc_, *path, VersionItem(), options);
    if (outcome.result != TWriteResult::Written) {
        ShowMessage(outcome.result == TWriteResult::CreateFailed ? CreateFailedMessage(*path)
                                                                 : WriteFailedMessage(*path, outcome.errorText),
                    TMsgIcon::Error);
        return;
    }
    SetModified(false);
    viewerFailed_ = false;
    if (ShowSavedFileWanted()) ShowFileInViewer(*path);
    // The saved file becomes the shown document, so that what the window
    // shows is what the file holds.
    // It keeps the passwords of this one.
    const std::string password = doc_->Password();
    const bool shown = ReadIntoFreshDocument(QFile::decodeName(QByteArray::fromStdString(*path)), password);
    // Said after the re-reading, which empties the status line.
    QStringList lines = SaveReportLines(outcome.report);
    if (viewerFailed_)
        lines << "Gespeichert. Die Datei kann nicht angezeigt werden: Auf diesem System ist kein Programm zum "
                 "Anzeigen von PDF-Dateien eingerichtet.";
    if (shown && !lines.isEmpty()) SetStatusText(lines.join(" "));
    QStringList broken;
    for (const TClaimProblem& problem : outcome.report.claimProblems) broken << ClaimProblemText(problem);
    if (!broken.isEmpty()) Ask(QMessageBox::Warning, kAppTitle, broken.join("\n"), QMessageBox::Ok);
}

bool TMainForm::TakeBackRefusedReplacements() {
    // The dialogs make no replacement that would lose text; should the
    // document hold one all the same, it is never written, and the rest
    // only when the user agrees.
    const std::vector<TRefusedReplacement> refused = RefusedReplacements(*doc_);
    if (refused.empty()) return true;
    QStringList lines;
    for (const TRefusedReplacement& refusal : refused) lines << QString::fromStdString(RefusalLine(refusal));
    lines << QString() << "Die übrigen Änderungen ohne diese Ersetzungen speichern?";
    if (Ask(QMessageBox::Warning, kAppTitle, lines.join("\n"), QMessageBox::Yes | QMessageBox::No) !=
        QMessageBox::Yes)
        return false;
    WithdrawReplacements(*doc_, refused);
    FontsTab->ReplacementsChanged();
    return true;
}

std::optional<std::string> TMainForm::AskSaveFileName() {
    QString path;
    if (testHooks.saveFileName) {
        const std::optional<QString> answer = testHooks.saveFileName();
        if (!answer) return std::nullopt;
        path = *answer;
    } else {
        QFileDialog dialog(this, "PDF speichern unter");
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilter("PDF-Dateien (*.pdf)");
        dialog.setDefaultSuffix("pdf");
        dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
        path = dialog.selectedFiles().first();
    }
    if (path.isEmpty()) return std::nullopt;
    return QFile::encodeName(path).toStdString();
}

bool TMainForm::ShowSavedFileWanted() {
    return SaveTab->ShowPDFCheck->isChecked();
}

void TMainForm::ShowFileInViewer(const std::string& path) {
    const QString file = QFile::decodeName(QByteArray::fromStdString(path));
    viewerFailed_ = !(testHooks.openFile ? testHooks.openFile(file) : QDesktopServices::openUrl(QUrl::fromLocalFile(file)));
}

// ---- messages ------------------------------------------------------------------------

QMessageBox::StandardButton TMainForm::Ask(QMessageBox::Icon icon, const QString& caption, const QString& text,
                                           QMessageBox::StandardButtons buttons) {
    if (testHooks.message) return testHooks.message(icon, caption, text);
    const std::unique_ptr<QMessageBox> box = MakeMessageBox(icon, caption, text, buttons, this);
    return static_cast<QMessageBox::StandardButton>(box->exec());
}

std::unique_ptr<QMessageBox> TMainForm::MakeMessageBox(QMessageBox::Icon icon, const QString& caption,
                                                       const QString& text, QMessageBox::StandardButtons buttons,
                                                       QWidget* parent) {
    auto box = std::make_unique<QMessageBox>(icon, caption, text, buttons, parent);
    KeepTitleReadable(*box);
    return box;
}

void TMainForm::ShowMessage(const std::string& text, TMsgIcon icon) {
    Ask(icon == TMsgIcon::Error ? QMessageBox::Critical : QMessageBox::Information, kAppTitle,
        QString::fromStdString(text), QMessageBox::Ok);
}

// TMainForm: the main window "Vostrel PDF Glyphwell 1.0". It owns the shown
// document and is the documents' user interface: message boxes, the
// progress window, the "Informationen" and "PDF Version:" controls, the
// display font's measurer and the save dialog.
//
// A file is read into a fresh document on a thread of its own while the
// window keeps answering; only a completely read one replaces the shown
// document, so a refused or cancelled open leaves the previous document (or
// none) in place.
#pragma once

#include <QFont>
#include <QMainWindow>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "DocumentUi.h"
#include "FontMeasurer.h"
#include "FontTable.h"
#include "InfoEdits.h"
#include "PdfDocument.h"

class QLabel;
class QPushButton;
class QTabWidget;
class TChangeFontForm;
class TElidedLabel;
class TEmbedFontsForm;
class THelpWindow;
class TImageBtn;
class TFontsTab;
class TInfoTab;
class TOpenTab;
class TSaveTab;
class TOpenPDFForm;
class TReaderBridge;
class QThread;

// Panel 1 of the status bar: the navy progress bar of an open, drawn from
// the panel's left edge over percent/100 of its width.
class TProgressPanel : public QWidget {
public:
    explicit TProgressPanel(QWidget* parent = nullptr);
    void SetPercent(int32_t percent);
    int32_t Percent() const { return percent_; }
    // The panel rectangle as last painted.
    QRect progressPanelRect;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int32_t percent_ = 0;
};

// Answers for the modal dialogs, so that tests can drive the window without
// anybody clicking. Each hook, when set, replaces its dialog.
struct TDialogHooks {
    // A message box (also the closing question): returns the button chosen.
    std::function<QMessageBox::StandardButton(QMessageBox::Icon, const QString& caption, const QString& text)>
        message;
    // The save-file dialog: the chosen path, or nothing for Cancel.
    std::function<std::optional<QString>()> saveFileName;
    // The screen-font chooser: gets the dialog's font, returns whether OK.
    std::function<bool(QFont&)> screenFont;
    // "Schriftart wechseln": returns the dialog's result (QDialog::Accepted
    // or Rejected) instead of running it.
    std::function<int(TChangeFontForm&)> changeFont;
    // "Fehlende Schriften einbetten": the same for that dialog.
    std::function<int(TEmbedFontsForm&)> embedFonts;
    // Showing a saved file in the system's viewer: returns whether a viewer
    // could be started.
    std::function<bool(const QString& path)> openFile;
    // Called on the reader's thread each time the reader of an open looks up
    // from its work, with the status label it set last. A hook that acts on
    // the window must do so on the window's thread (a blocking queued call).
    std::function<void(const QString& statusLabel)> readerStep;
    // The password dialog of an encrypted file: the password typed, or
    // nothing for "Abbrechen". `attempt` counts from 1.
    std::function<std::optional<QString>(const QString& fileName, int attempt)> password;
};

class TMainForm : public QMainWindow, public TDocumentUi {
    Q_OBJECT
public:
    // `programDir` ends in "/"; a bare file name on the command line is
    // looked for there first (and an old favourites list is taken over).
    explicit TMainForm(const QString& programDir, QWidget* parent = nullptr);
    ~TMainForm() override;

    TPdfDocument& Document() { return *doc_; }
    // The document information as the user has typed it so far.
    const TInfoEdits& InfoEdits() const { return infoEdits_; }
    // Whether the shown document has changes that are not saved yet.
    bool HasUnsavedChanges() const { return modified_; }
    // The file the shown document was read from (empty: none).
    const QString& DocumentPath() const { return documentPath_; }
    const QString& ProgramDir() const { return programDir_; }

    // Size, position, tab and zoom as the user left them (QSettings); on
    // the first start a size that suits the screen.
    void RestoreWindowState();
    void SaveWindowState() const;
    // The zoom at which the current page fills the page area's width.
    int FitWidthZoom() const;

    // Opens the file named by the first command-line argument (arguments
    // without the program name).
    void FormShow(const QStringList& arguments);
    // Which file a command-line argument names: nothing unless it ends in
    // ".pdf" (any case); a bare name is taken from the program's folder, or
    // from the working directory when the program's folder has no such file.
    static std::optional<QString> CommandLinePath(const QString& argument, const QString& programDir,
                                                  const QString& workingDir);

    // ---- commands -----------------------------------------------------------
    // Asks first when the shown document has unsaved changes. True when the
    // file was read and is now the shown document.
    bool openfilenow(const QString& path);
    void ChangeBtnClick();
    void OldFontBtnClick();
    void EmbedFontsBtnClick();
    void ChooseFontBtnClick();
    void SaveBtnClick();
    void ueberbtnClick();
    // "Hinweise zum Programm": the manual.
    void wwwBtnClick();
    void EndeBtnClick();
    // The manual in its window, at a section (an anchor of the manual) or at
    // its top.
    void ShowHelp(const QString& section = QString());

    // ---- TDocumentUi ----------------------------------------------------------
    void ShowMessage(const std::string& text, TMsgIcon icon) override;
    void ShowProgressWindow() override;
    void CloseProgressWindow() override;
    void Notice(const TNotice& notice) override;
    void Progress(const TProgress& step) override;
    void SetProStatus(int32_t percent) override;
    void PumpMessages() override;
    void SelectVersionItem(int32_t item) override;
    int32_t VersionItem() override;
    void InfoFieldsChanged() override;
    void OpenFinished(int32_t pageCount) override;
    TTextMeasurer& Measurer() override { return measurer_; }
    std::optional<std::string> AskSaveFileName() override;
    bool ShowSavedFileWanted() override;
    void ShowFileInViewer(const std::string& path) override;

    TDialogHooks testHooks;
    // How often the password dialog asks before the open gives up.
    static constexpr int kPasswordTries = 3;

    // A message box as the window shows it: wide enough for its title.
    static std::unique_ptr<QMessageBox> MakeMessageBox(QMessageBox::Icon icon, const QString& caption,
                                                       const QString& text, QMessageBox::StandardButtons buttons,
                                                       QWidget* parent);

    // ---- controls (named as the handlers name them) ---------------------------
    QTabWidget* PageControl1 = nullptr;
    // The tabs, each a widget of its own with its own controls.
    TOpenTab* OpenTab = nullptr;
    TFontsTab* FontsTab = nullptr;
    TInfoTab* InfoTab = nullptr;
    TSaveTab* SaveTab = nullptr;
    TElidedLabel* StatusPanel0 = nullptr;
    TProgressPanel* StatusPanel1 = nullptr;
    TImageBtn* UeberBtn = nullptr;
    TImageBtn* EndeBtn = nullptr;
    QPushButton* WwwBtn = nullptr;
    TOpenPDFForm* OpenPDFForm = nullptr;
    TChangeFontForm* ChangeFontForm = nullptr;
    // Made when first asked for.
    THelpWindow* HelpWindow = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // `password`: the one to try first on an encrypted file (the file just
    // saved keeps the passwords of the one it was saved from).
    bool ReadIntoFreshDocument(const QString& path, const std::string& password = {});
    // Memory: what the shown document can do without while another is read,
    // and what documents gone gave back.
    void ShrinkShownDocument();
    static void ReturnFreedMemory();
    // Runs the reader on its own thread and the window's events meanwhile.
    void ReadOnReaderThread(TPdfDocument& fresh, const std::string& path, const std::string& password);
    // Reads the file, asking for the password while the open needs one
    // (kPasswordTries times at most). False when the user cancelled the
    // dialog: nothing is to change then.
    bool ReadAskingForPassword(TPdfDocument& fresh, const QString& path, std::string password);
    std::optional<QString> AskPassword(const QString& fileName, int attempt);
    void ConnectReaderBridge();
    void ShowDocument(std::unique_ptr<TPdfDocument> doc, const QString& path);
    void RememberOpenedFile(const QString& path);
    std::unique_ptr<TPdfDocument> NewDocument();
    void SetModified(bool modified);
    // Whether the shown document would be saved differently from its file.
    bool DocumentChanged() const;
    void RefreshModified();
    // The page commands and the information tab work on a shown document.
    void UpdateDocumentCommands();
    void SayReplacedEverywhere(const std::string& oldName, const std::string& newName,
                               const TEverywhereOutcome& outcome);
    void UpdateTitle();
    void UpdateSaveAvailability();
    // The replacing commands and saving, allowed when the document may be
    // changed; otherwise disabled with a tooltip that says why.
    void UpdateChangePermission();
    bool ConfirmDiscardChanges(const QString& caption);
    void SetStatusText(const QString& text);
    // The progress window's status memo and its one-line label.
    void AddStatusLine(const std::string& line);
    void SetStatusLabel(const std::string& text);
    QWidget* CreateOpenTab();
    QWidget* CreateFontsTab();
    QWidget* CreateInfoTab();
    QWidget* CreateSaveTab();
    QWidget* CreateBottomBar();
    void CreateStatusBar();
    void CreateShortcuts();
    void ApplyScreenFont();
    bool FormCloseQuery();
    // Before a save: replacements that would lose text are taken back when
    // the user agrees; false when the save is not to go on.
    bool TakeBackRefusedReplacements();
    QMessageBox::StandardButton Ask(QMessageBox::Icon icon, const QString& caption, const QString& text,
                                    QMessageBox::StandardButtons buttons);

    QString programDir_;
    TFreeTypeMeasurer measurer_;
    // Every document reports through the bridge, so it is made before the
    // first document and goes after the last.
    std::unique_ptr<TReaderBridge> bridge_;
    std::unique_ptr<TPdfDocument> doc_;
    // What the user typed on the information tab for the shown document.
    TInfoEdits infoEdits_;
    QString documentPath_;
    // The document being read and the thread reading it, while an open
    // runs; the window's document callbacks then leave the shown one alone.
    TPdfDocument* reading_ = nullptr;
    QThread* readerThread_ = nullptr;
    int32_t readingVersionItem_ = -1;
    // The reader's messages, shown once the open has ended (not over the
    // progress window while the reader goes on).
    std::vector<std::pair<QString, bool>> readerMessages_;
    bool modified_ = false;
    // The last attempt to show a saved file found no viewer.
    bool viewerFailed_ = false;
    QFont screenFont_;
    bool closeAfterOpen_ = false;
    bool closeConfirmed_ = false;
};

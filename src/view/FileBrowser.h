// The tab "PDF-Datei öffnen": favourite folders ("Lieblings Ordner:"), the
// folder tree and the list of subfolders and PDF files.
//
// The favourites live in "folders.dat" in the user's configuration folder;
// a list left in the program's folder by an older version is taken over
// once. The user adds the shown folder and removes a favourite by hand
// (buttons, context menu, Delete); the window adds the folder of every file
// it opened successfully.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

class QFileSystemModel;
class QListWidget;
class QModelIndex;
class QPushButton;
class QTreeView;

class TFileBrowser : public QWidget {
    Q_OBJECT
public:
    // `programDir` ends in "/"; an old "folders.dat" there is read when the
    // configuration folder has none yet.
    explicit TFileBrowser(const QString& programDir, QWidget* parent = nullptr);
    // Where the favourites are kept: "folders.dat" in the user's
    // configuration folder.
    static QString UserFavouritesFile();

    // Shows a folder in the tree and the list; the browser starts there
    // next time (the home folder before any was shown).
    void SetFolder(const QString& folder);
    QString CurrentFolder() const;

    // The favourites, most recent first; each ends in "/" (or is empty).
    QStringList Favourites() const;
    // Puts a folder at the top of the favourites and writes "folders.dat".
    void AddToPrefFolders(const QString& folder);
    // The commands of the buttons and the context menu: the shown folder
    // becomes a favourite; the selected favourite is removed.
    void AddCurrentFolder();
    void RemoveSelectedFavourite();
    QString FavouritesFile() const;

    // The controls, for the window's layout and for tests.
    QListWidget* PrefListBox() const { return prefListBox_; }
    QPushButton* AddFavouriteButton() const { return addFavouriteBtn_; }
    QPushButton* RemoveFavouriteButton() const { return removeFavouriteBtn_; }
    QTreeView* FolderTree() const { return folderTree_; }
    QTreeView* FileList() const { return fileList_; }

    // The file list's double click (or Enter) on an entry: a folder is
    // entered, a file is opened.
    void ActivateListEntry(const QModelIndex& index);
    // The favourite list's double click (or Enter) on a row.
    void ActivateFavourite(int row);

signals:
    // A PDF file was chosen (double click or Enter in the list).
    void openRequested(const QString& path);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LoadFavourites();
    QWidget* CreateFavouritesRow();
    void SaveFavourites();
    void TreeFolderChosen(const QModelIndex& index);

    QString programDir_;
    QString favouritesFile_;
    QFileSystemModel* dirModel_ = nullptr;
    QFileSystemModel* fileModel_ = nullptr;
    QTreeView* folderTree_ = nullptr;
    QTreeView* fileList_ = nullptr;
    QListWidget* prefListBox_ = nullptr;
    QPushButton* addFavouriteBtn_ = nullptr;
    QPushButton* removeFavouriteBtn_ = nullptr;
    QString currentFolder_;
};

// The tab "PDF-Datei öffnen": favourite folders ("Lieblings Ordner:"), the
// folder tree and the list of subfolders and PDF files.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

class QFileSystemModel;
class QListWidget;
class QModelIndex;
class QTreeView;

class TFileBrowser : public QWidget {
    Q_OBJECT
public:
    // `programDir` ends in "/"; "folders.dat" is looked for there (and in
    // the user's configuration folder when that folder is not writable).
    explicit TFileBrowser(const QString& programDir, QWidget* parent = nullptr);

    // Shows a folder in the tree and the list.
    void SetFolder(const QString& folder);
    QString CurrentFolder() const;

    // The favourites, most recent first; each ends in "/" (or is empty).
    QStringList Favourites() const;
    // Puts a folder at the top of the favourites and writes "folders.dat".
    void AddToPrefFolders(const QString& folder);
    QString FavouritesFile() const;

    // The controls, for the window's layout and for tests.
    QListWidget* PrefListBox() const { return prefListBox_; }
    QTreeView* FolderTree() const { return folderTree_; }
    QTreeView* FileList() const { return fileList_; }

    // The file list's double click (or Enter) on an entry: a folder is
    // entered, a file is opened.
    void ActivateListEntry(const QModelIndex& index);
    // The favourite list's double click (or Enter) on a row.
    void ActivateFavourite(int row);

signals:
    // A PDF file was chosen (double click or Enter in the list); its folder
    // is already first among the favourites.
    void openRequested(const QString& path);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LoadFavourites();
    void SaveFavourites();
    void TreeFolderChosen(const QModelIndex& index);

    QString programDir_;
    QString favouritesFile_;
    QFileSystemModel* dirModel_ = nullptr;
    QFileSystemModel* fileModel_ = nullptr;
    QTreeView* folderTree_ = nullptr;
    QTreeView* fileList_ = nullptr;
    QListWidget* prefListBox_ = nullptr;
    QString currentFolder_;
};

// The tab "PDF-Datei öffnen": favourite folders ("Lieblings Ordner:"), the
// folder tree and the list of subfolders and PDF files.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

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

signals:
    // A PDF file was chosen (double click or Enter in the list); its folder
    // is already first among the favourites.
    void openRequested(const QString& path);
};

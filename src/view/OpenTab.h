// The tab "PDF-Datei öffnen": the file browser with the favourite folders,
// the last files opened, the screen font ("Schriftart auswählen:") and
// "Bilder einlesen".
#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;
class TFileBrowser;
class TRecentFiles;

class TOpenTab : public QWidget {
    Q_OBJECT
public:
    // `programDir` ends in "/" (see TFileBrowser).
    explicit TOpenTab(const QString& programDir, QWidget* parent = nullptr);

    TFileBrowser* FileBrowser = nullptr;
    TRecentFiles* RecentFiles = nullptr;
    QPushButton* ChooseFontBtn = nullptr;
    QLabel* FontLabel = nullptr;  // "Optimieren auf: ..."
    QCheckBox* ReadPicsCheck = nullptr;

signals:
    // A file was chosen in the browser or among the last files.
    void openRequested(const QString& path);
};

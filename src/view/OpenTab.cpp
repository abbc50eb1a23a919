#include "OpenTab.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "FileBrowser.h"
#include "RecentFiles.h"
#include "WindowParts.h"

TOpenTab::TOpenTab(const QString& programDir, QWidget* parent) : QWidget(parent) {
    FileBrowser = new TFileBrowser(programDir, this);
    connect(FileBrowser, &TFileBrowser::openRequested, this, &TOpenTab::openRequested);

    RecentFiles = new TRecentFiles(this);
    RecentFiles->setFixedHeight(4 * RecentFiles->fontMetrics().height() + 2 * RecentFiles->frameWidth() + 8);
    connect(RecentFiles, &TRecentFiles::openRequested, this, &TOpenTab::openRequested);
    auto* recentCaption = new QLabel("Zuletzt geöffnet:", this);
    QFont bold = recentCaption->font();
    bold.setBold(true);
    recentCaption->setFont(bold);
    recentCaption->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    recentCaption->setBuddy(RecentFiles);
    auto* recent = new QHBoxLayout;
    recent->addWidget(recentCaption);
    recent->addWidget(RecentFiles, 1);

    ChooseFontBtn = new QPushButton("Schriftart auswählen:", this);
    FontLabel = new QLabel("Optimieren auf:", this);
    ReadPicsCheck = new QCheckBox("Bilder einlesen", this);
    ReadPicsCheck->setChecked(true);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(ChooseFontBtn);
    bottom->addWidget(FontLabel, 1);
    bottom->addWidget(ReadPicsCheck);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(MakeHeader("PDF-Datei öffnen - Wählen Sie die zu öffnende PDF-Datei aus", this));
    layout->addWidget(FileBrowser, 1);
    layout->addLayout(recent);
    layout->addLayout(bottom);
}

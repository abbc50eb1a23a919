#include "FileBrowser.h"

#include <QAction>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QSaveFile>
#include <QSettings>
#include <QSplitter>
#include <QStandardPaths>
#include <QTreeView>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {

const QString kFavouritesName = QStringLiteral("folders.dat");
const char* const kLastFolderKey = "browser/folder";

bool IsEnterKey(const QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// Splits the favourites file into entries. Lines end in CR LF as we write
// them; a bare LF or CR (a file edited by hand) ends a line as well. The
// last line needs no line end, and an empty line is an empty entry.
QStringList SplitLines(const QByteArray& bytes) {
    QStringList lines;
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < bytes.size()) {
        const char ch = bytes[i];
        if (ch == '\r' || ch == '\n') {
            lines.append(QString::fromLocal8Bit(bytes.mid(start, i - start)));
            i += (ch == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < bytes.size()) lines.append(QString::fromLocal8Bit(bytes.mid(start)));
    return lines;
}

// The file list's dates as the program's language writes them: Qt's model
// formats them for the system's locale, which in a plain session is English.
class TLocalDatesModel : public QFileSystemModel {
public:
    using QFileSystemModel::QFileSystemModel;
    static constexpr int kDateColumn = 3;

    QVariant data(const QModelIndex& index, int role) const override {
        if (role == Qt::DisplayRole && index.column() == kDateColumn)
            return QLocale().toString(lastModified(index), QLocale::ShortFormat);
        return QFileSystemModel::data(index, role);
    }
};

}  // namespace

TFileBrowser::TFileBrowser(const QString& programDir, QWidget* parent) : QWidget(parent), programDir_(programDir) {
    if (!programDir_.isEmpty() && !programDir_.endsWith(QLatin1Char('/'))) programDir_ += QLatin1Char('/');

    dirModel_ = new QFileSystemModel(this);
    dirModel_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    dirModel_->setReadOnly(true);
    dirModel_->setRootPath(QDir::rootPath());

    fileModel_ = new TLocalDatesModel(this);
    // Subfolders and PDF files; the name filter ignores letter case (no
    // QDir::CaseSensitive), so "REPORT.PDF" is listed too.
    fileModel_->setFilter(QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot);
    fileModel_->setNameFilters({QStringLiteral("*.pdf")});
    fileModel_->setNameFilterDisables(false);
    fileModel_->setReadOnly(true);

    folderTree_ = new QTreeView(this);
    folderTree_->setObjectName(QStringLiteral("JamShellTree1"));
    folderTree_->setModel(dirModel_);
    for (int column = 1; column < dirModel_->columnCount(); ++column) folderTree_->hideColumn(column);
    folderTree_->setHeaderHidden(true);
    folderTree_->setSortingEnabled(true);
    folderTree_->sortByColumn(0, Qt::AscendingOrder);
    folderTree_->setDragDropMode(QAbstractItemView::NoDragDrop);
    folderTree_->setEditTriggers(QAbstractItemView::NoEditTriggers);

    fileList_ = new QTreeView(this);
    fileList_->setObjectName(QStringLiteral("JamShellList1"));
    fileList_->setModel(fileModel_);
    fileList_->setRootIsDecorated(false);
    fileList_->setItemsExpandable(false);
    fileList_->setExpandsOnDoubleClick(false);
    fileList_->setSortingEnabled(true);
    fileList_->sortByColumn(0, Qt::AscendingOrder);
    fileList_->setDragDropMode(QAbstractItemView::NoDragDrop);
    fileList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    fileList_->setSelectionMode(QAbstractItemView::SingleSelection);
    fileList_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    fileList_->header()->setStretchLastSection(false);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(folderTree_);
    splitter->addWidget(fileList_);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({241, 400});

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(CreateFavouritesRow());
    layout->addWidget(splitter, 1);

    connect(folderTree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { TreeFolderChosen(current); });
    connect(fileList_, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { ActivateListEntry(index); });
    connect(prefListBox_, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { ActivateFavourite(prefListBox_->row(item)); });
    fileList_->installEventFilter(this);
    prefListBox_->installEventFilter(this);
    // Top to bottom, left to right: favourites and their buttons, the
    // folder tree, the file list.
    setTabOrder(prefListBox_, addFavouriteBtn_);
    setTabOrder(addFavouriteBtn_, removeFavouriteBtn_);
    setTabOrder(removeFavouriteBtn_, folderTree_);
    setTabOrder(folderTree_, fileList_);

    LoadFavourites();
    // Where the user left off, else at home (not in the program's folder,
    // which holds nothing of the user's).
    const QString last = QSettings().value(kLastFolderKey).toString();
    SetFolder(!last.isEmpty() && QFileInfo(last).isDir() ? last : QDir::homePath());
}

QWidget* TFileBrowser::CreateFavouritesRow() {
    auto* row = new QWidget(this);
    prefListBox_ = new QListWidget(row);
    prefListBox_->setObjectName(QStringLiteral("PrefListBox"));
    prefListBox_->setSelectionMode(QAbstractItemView::SingleSelection);
    // About three lines high.
    const int lineHeight = prefListBox_->fontMetrics().height();
    prefListBox_->setFixedHeight(3 * lineHeight + 2 * prefListBox_->frameWidth() + 6);

    auto* caption = new QLabel(QStringLiteral("Lieblings Ordner:"), row);
    QFont bold = caption->font();
    bold.setBold(true);
    caption->setFont(bold);
    caption->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    caption->setBuddy(prefListBox_);

    addFavouriteBtn_ = new QPushButton(QStringLiteral("Ordner hinzufügen"), row);
    addFavouriteBtn_->setToolTip(QStringLiteral("Nimmt den angezeigten Ordner in die Lieblings Ordner auf"));
    removeFavouriteBtn_ = new QPushButton(QStringLiteral("Entfernen"), row);
    removeFavouriteBtn_->setToolTip(QStringLiteral("Entfernt den markierten Lieblings Ordner aus der Liste"));
    connect(addFavouriteBtn_, &QPushButton::clicked, this, &TFileBrowser::AddCurrentFolder);
    connect(removeFavouriteBtn_, &QPushButton::clicked, this, &TFileBrowser::RemoveSelectedFavourite);
    auto updateRemove = [this] { removeFavouriteBtn_->setEnabled(prefListBox_->currentRow() >= 0); };
    connect(prefListBox_, &QListWidget::currentRowChanged, this, updateRemove);
    updateRemove();

    // The same two commands on the list's context menu.
    auto* addAction = new QAction(addFavouriteBtn_->text(), prefListBox_);
    auto* removeAction = new QAction(removeFavouriteBtn_->text(), prefListBox_);
    connect(addAction, &QAction::triggered, this, &TFileBrowser::AddCurrentFolder);
    connect(removeAction, &QAction::triggered, this, &TFileBrowser::RemoveSelectedFavourite);
    prefListBox_->addActions({addAction, removeAction});
    prefListBox_->setContextMenuPolicy(Qt::ActionsContextMenu);

    auto* buttons = new QVBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->addWidget(addFavouriteBtn_);
    buttons->addWidget(removeFavouriteBtn_);
    buttons->addStretch(1);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(caption);
    layout->addWidget(prefListBox_, 1);
    layout->addLayout(buttons);
    return row;
}

bool TFileBrowser::eventFilter(QObject* watched, QEvent* event) {
    if (watched == prefListBox_ && event->type() == QEvent::KeyPress &&
        static_cast<const QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        RemoveSelectedFavourite();
        return true;
    }
    if (IsEnterKey(event)) {
        // Names cannot be edited in the list (no edit triggers), and an open
        // editor would take the key itself, so Enter here always means open.
        if (watched == fileList_) {
            const QModelIndex current = fileList_->currentIndex();
            if (current.isValid() && fileList_->selectionModel()->isSelected(current)) ActivateListEntry(current);
            return true;
        }
        if (watched == prefListBox_) {
            ActivateFavourite(prefListBox_->currentRow());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TFileBrowser::SetFolder(const QString& folder) {
    // An empty favourite, or one whose folder has gone, leaves the browser
    // where it is.
    if (folder.isEmpty()) return;
    const QFileInfo info(folder);
    if (!info.isDir()) return;
    const QString path = QDir::cleanPath(info.absoluteFilePath());
    currentFolder_ = path;
    QSettings().setValue(kLastFolderKey, path);
    fileList_->setRootIndex(fileModel_->setRootPath(path));
    fileList_->clearSelection();
    const QModelIndex treeIndex = dirModel_->index(path);
    if (treeIndex.isValid() && folderTree_->currentIndex() != treeIndex) {
        folderTree_->setCurrentIndex(treeIndex);
        folderTree_->scrollTo(treeIndex);
    }
}

void TFileBrowser::TreeFolderChosen(const QModelIndex& index) {
    if (!index.isValid()) return;
    const QString path = dirModel_->filePath(index);
    if (path.isEmpty() || path == currentFolder_) return;
    SetFolder(path);
}

QString TFileBrowser::CurrentFolder() const { return currentFolder_; }

void TFileBrowser::ActivateListEntry(const QModelIndex& index) {
    if (!index.isValid()) return;
    const QString path = fileModel_->filePath(index);
    // QFileInfo follows symbolic links, so a link to a folder is entered too.
    if (QFileInfo(path).isDir()) {
        SetFolder(path);
        return;
    }
    QString folder = CurrentFolder();
    if (folder.isEmpty()) folder = QFileInfo(path).absolutePath();
    if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    // Whether the folder becomes a favourite depends on the open's success:
    // the window decides.
    emit openRequested(folder + fileModel_->fileName(index));
}

void TFileBrowser::ActivateFavourite(int row) {
    if (row < 0 || row >= prefListBox_->count()) return;
    SetFolder(prefListBox_->item(row)->text());
}

QStringList TFileBrowser::Favourites() const {
    QStringList entries;
    entries.reserve(prefListBox_->count());
    for (int i = 0; i < prefListBox_->count(); ++i) entries.append(prefListBox_->item(i)->text());
    return entries;
}

void TFileBrowser::AddToPrefFolders(const QString& folder) {
    // Exact comparison: "c:/a/" and "C:/A/" are different entries. Only the
    // last equal entry goes, should the file hold a folder twice.
    int found = -1;
    for (int i = 0; i < prefListBox_->count(); ++i)
        if (prefListBox_->item(i)->text() == folder) found = i;
    if (found >= 0) delete prefListBox_->takeItem(found);
    prefListBox_->insertItem(0, folder);
    SaveFavourites();
}

void TFileBrowser::AddCurrentFolder() {
    QString folder = CurrentFolder();
    if (folder.isEmpty()) return;
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    AddToPrefFolders(folder);
    prefListBox_->setCurrentRow(0);
}

void TFileBrowser::RemoveSelectedFavourite() {
    const int row = prefListBox_->currentRow();
    if (row < 0 || row >= prefListBox_->count()) return;
    delete prefListBox_->takeItem(row);
    SaveFavourites();
}

QString TFileBrowser::UserFavouritesFile() {
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + QLatin1Char('/') + kFavouritesName;
}

QString TFileBrowser::FavouritesFile() const { return favouritesFile_; }

void TFileBrowser::LoadFavourites() {
    favouritesFile_ = UserFavouritesFile();
    // Older versions kept the list beside the program; it is taken over
    // until the first change writes the user's own.
    const QString readFrom = QFile::exists(favouritesFile_) ? favouritesFile_ : programDir_ + kFavouritesName;
    QFile file(readFrom);
    if (!file.open(QIODevice::ReadOnly)) return;
    prefListBox_->addItems(SplitLines(file.readAll()));
}

void TFileBrowser::SaveFavourites() {
    // Written whole every time; a folder that cannot be written leaves the
    // list in the window as the only copy, without a message.
    const QFileInfo target(favouritesFile_);
    QDir().mkpath(target.absolutePath());
    QSaveFile file(favouritesFile_);
    if (!file.open(QIODevice::WriteOnly)) return;
    QByteArray bytes;
    for (const QString& entry : Favourites()) {
        bytes += entry.toLocal8Bit();
        bytes += "\r\n";
    }
    file.write(bytes);
    file.commit();
}

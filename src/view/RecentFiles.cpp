#include "RecentFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QSettings>

namespace {

const char* const kSettingsKey = "files/recent";

}  // namespace

TRecentFiles::TRecentFiles(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setToolTip("Doppelklick oder Eingabetaste öffnet die Datei");
    const QStringList stored = QSettings().value(kSettingsKey).toStringList();
    for (const QString& path : stored.mid(0, kMaxFiles)) {
        if (!QFileInfo::exists(path)) continue;
        auto* item = new QListWidgetItem(QDir::toNativeSeparators(path), this);
        item->setData(Qt::UserRole, path);
        item->setToolTip(QDir::toNativeSeparators(path));
    }
    connect(this, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) { Request(item); });
}

void TRecentFiles::Add(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    for (int row = count() - 1; row >= 0; --row)
        if (item(row)->data(Qt::UserRole).toString() == absolute) delete takeItem(row);
    auto* first = new QListWidgetItem(QDir::toNativeSeparators(absolute));
    first->setData(Qt::UserRole, absolute);
    first->setToolTip(first->text());
    insertItem(0, first);
    while (count() > kMaxFiles) delete takeItem(count() - 1);
    // The list keeps its scroll position, and its current row, when a row
    // comes in above: the new file would be out of sight. It becomes the
    // current row, which the list keeps in sight.
    setCurrentRow(0);
    scrollToTop();
    Store();
}

void TRecentFiles::DropMissing() {
    bool dropped = false;
    for (int row = count() - 1; row >= 0; --row) {
        if (QFileInfo::exists(item(row)->data(Qt::UserRole).toString())) continue;
        delete takeItem(row);
        dropped = true;
    }
    if (dropped) Store();
}

void TRecentFiles::showEvent(QShowEvent* event) {
    // Files may have gone while the program ran (or the tab was hidden).
    DropMissing();
    QListWidget::showEvent(event);
    scrollToTop();
}

QStringList TRecentFiles::Files() const {
    QStringList files;
    for (int row = 0; row < count(); ++row) files << item(row)->data(Qt::UserRole).toString();
    return files;
}

void TRecentFiles::Store() const {
    QSettings().setValue(kSettingsKey, Files());
}

void TRecentFiles::Request(const QListWidgetItem* item) {
    if (!item) return;
    const QString path = item->data(Qt::UserRole).toString();
    // Gone since the list was shown: nothing to open, and nothing to offer.
    if (!QFileInfo::exists(path)) {
        DropMissing();
        return;
    }
    emit openRequested(path);
}

void TRecentFiles::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem()) {
        Request(currentItem());
        return;
    }
    QListWidget::keyPressEvent(event);
}

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
        auto* item = new QListWidgetItem(QDir::toNativeSeparators(path), this);
        item->setData(Qt::UserRole, path);
    }
    connect(this, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) { Request(item); });
}

void TRecentFiles::Add(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    for (int row = count() - 1; row >= 0; --row)
        if (item(row)->data(Qt::UserRole).toString() == absolute) delete takeItem(row);
    auto* first = new QListWidgetItem(QDir::toNativeSeparators(absolute));
    first->setData(Qt::UserRole, absolute);
    insertItem(0, first);
    while (count() > kMaxFiles) delete takeItem(count() - 1);
    Store();
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
    if (item) emit openRequested(item->data(Qt::UserRole).toString());
}

void TRecentFiles::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem()) {
        Request(currentItem());
        return;
    }
    QListWidget::keyPressEvent(event);
}

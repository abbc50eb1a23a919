// The last ten files opened successfully, newest first, offered under the
// tab "PDF-Datei öffnen" (double click or Enter opens one). Kept in the
// user's settings (QSettings). A file that no longer exists is not offered,
// and the newest entry is always in sight.
#pragma once

#include <QListWidget>
#include <QStringList>

class TRecentFiles : public QListWidget {
    Q_OBJECT
public:
    static constexpr int kMaxFiles = 10;

    explicit TRecentFiles(QWidget* parent = nullptr);

    // Puts a file at the top (once), drops what falls beyond ten, and
    // stores the list.
    void Add(const QString& path);
    // Takes files that were deleted or moved away out of the list.
    void DropMissing();
    QStringList Files() const;

signals:
    void openRequested(const QString& path);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void Store() const;
    void Request(const QListWidgetItem* item);
};

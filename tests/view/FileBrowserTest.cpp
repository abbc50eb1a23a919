// The file browser: favourites in "folders.dat" and the folder/file list
// rules, on real folders below the build tree (offscreen).
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileSystemModel>
#include <QListWidget>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTreeView>

#include "FileBrowser.h"
#include "TestSupport.h"
#include "ViewTestApp.h"

namespace {


QString Scratch(const char* name) { return QString::fromStdString(ScratchDir(name)) + QLatin1Char('/'); }

void Touch(const QString& path) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("%PDF-1.4\n");
}

QByteArray FileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// The list's model reads folders in a background thread; waits until the
// folder shows the expected number of rows (or gives up after a while).
QStringList ListedNames(TFileBrowser& browser, int expectedRows) {
    auto* model = static_cast<QFileSystemModel*>(browser.FileList()->model());
    const QModelIndex root = browser.FileList()->rootIndex();
    QElapsedTimer timer;
    timer.start();
    while (model->rowCount(root) < expectedRows && timer.elapsed() < 10000) QTest::qWait(20);
    QStringList names;
    for (int row = 0; row < model->rowCount(root); ++row) names.append(model->index(row, 0, root).data().toString());
    names.sort();
    return names;
}

QModelIndex ListIndexOf(TFileBrowser& browser, const QString& path) {
    auto* model = static_cast<QFileSystemModel*>(browser.FileList()->model());
    return model->index(path);
}

class FileBrowserTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        EnsureApplication();
        // Never touch the real user's configuration folder.
        QStandardPaths::setTestModeEnabled(true);
    }
};

TEST_F(FileBrowserTest, LoadsFavouritesInStoredOrderWithEmptyEntries) {
    const QString dir = Scratch("fb-load");
    WriteBytes(dir + "folders.dat", "/b/\r\n\r\n/a/\r\n/last-without-line-end/");
    TFileBrowser browser(dir);
    EXPECT_EQ(browser.FavouritesFile(), dir + "folders.dat");
    EXPECT_EQ(browser.Favourites(), (QStringList{"/b/", "", "/a/", "/last-without-line-end/"}));
    // The empty entry survives a save as an empty line.
    browser.AddToPrefFolders("/a/");
    EXPECT_EQ(FileBytes(dir + "folders.dat"), QByteArray("/a/\r\n/b/\r\n\r\n/last-without-line-end/\r\n"));
}

TEST_F(FileBrowserTest, MissingFileGivesEmptyList) {
    const QString dir = Scratch("fb-missing");
    TFileBrowser browser(dir);
    EXPECT_TRUE(browser.Favourites().isEmpty());
    EXPECT_FALSE(QFile::exists(dir + "folders.dat"));  // nothing written at start
}

TEST_F(FileBrowserTest, AddToPrefFoldersMovesTheFolderToTheTop) {
    struct Case {
        QByteArray stored;
        QString folder;
        QStringList expected;
    } cases[] = {
        {"C:/B/\r\nC:/A/\r\n", "C:/A/", {"C:/A/", "C:/B/"}},
        // Letter case matters: a new entry, the old one stays.
        {"C:/A/\r\n", "c:/a/", {"c:/a/", "C:/A/"}},
        {"C:/A/\r\nC:/B/\r\n", "C:/A/", {"C:/A/", "C:/B/"}},
        {"", "/x/", {"/x/"}},
        // A folder stored twice loses only its last copy.
        {"/x/\r\n/y/\r\n/x/\r\n", "/x/", {"/x/", "/x/", "/y/"}},
    };
    for (const Case& c : cases) {
        const QString dir = Scratch("fb-add");
        WriteBytes(dir + "folders.dat", c.stored);
        TFileBrowser browser(dir);
        browser.AddToPrefFolders(c.folder);
        EXPECT_EQ(browser.Favourites(), c.expected) << c.stored.constData();
        QByteArray bytes;
        for (const QString& e : c.expected) bytes += e.toLocal8Bit() + "\r\n";
        EXPECT_EQ(FileBytes(dir + "folders.dat"), bytes);
    }
}

TEST_F(FileBrowserTest, FileIsWrittenEvenWhenUnchanged) {
    const QString dir = Scratch("fb-rewrite");
    WriteBytes(dir + "folders.dat", "/a/\r\n");
    TFileBrowser browser(dir);
    QFile::remove(dir + "folders.dat");
    browser.AddToPrefFolders("/a/");
    EXPECT_EQ(FileBytes(dir + "folders.dat"), QByteArray("/a/\r\n"));
}

TEST_F(FileBrowserTest, NonUtf8AndUmlautFoldersRoundTrip) {
    const QString dir = Scratch("fb-umlaut");
    TFileBrowser browser(dir);
    const QString folder = QString::fromUtf8("/tmp/Bücher/");
    browser.AddToPrefFolders(folder);
    TFileBrowser again(dir);
    EXPECT_EQ(again.Favourites(), QStringList{folder});
}

TEST_F(FileBrowserTest, ReadOnlyProgramFolderUsesTheConfigurationFolder) {
    // A program folder that does not exist cannot be written either.
    const QString programDir = Scratch("fb-readonly") + "no-such-folder/";
    TFileBrowser browser(programDir);
    const QString configFile =
        QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + QStringLiteral("/folders.dat");
    QFile::remove(configFile);
    EXPECT_EQ(browser.FavouritesFile(), configFile);
    browser.AddToPrefFolders("/p/");
    EXPECT_EQ(FileBytes(configFile), QByteArray("/p/\r\n"));
    TFileBrowser again(programDir);
    EXPECT_EQ(again.Favourites(), QStringList{"/p/"});
    QFile::remove(configFile);
}

TEST_F(FileBrowserTest, ListShowsSubfoldersAndPdfFilesInAnyCase) {
    const QString dir = Scratch("fb-list");
    Touch(dir + "one.pdf");
    Touch(dir + "TWO.PDF");
    Touch(dir + "notes.txt");
    Touch(dir + "pdf");
    QDir(dir).mkdir("sub");
    TFileBrowser browser(Scratch("fb-list-prog"));
    browser.SetFolder(dir);
    EXPECT_EQ(browser.CurrentFolder(), QDir::cleanPath(dir));
    EXPECT_EQ(ListedNames(browser, 3), (QStringList{"TWO.PDF", "one.pdf", "sub"}));
    // The tree follows the list's folder.
    auto* treeModel = static_cast<QFileSystemModel*>(browser.FolderTree()->model());
    EXPECT_EQ(treeModel->filePath(browser.FolderTree()->currentIndex()), QDir::cleanPath(dir));
}

TEST_F(FileBrowserTest, OpeningAFileFromTheListPutsItsFolderFirst) {
    const QString dir = Scratch("fb-open");
    Touch(dir + "Report.PDF");
    QDir(dir).mkdir("sub");
    const QString programDir = Scratch("fb-open-prog");
    WriteBytes(programDir + "folders.dat", "/elsewhere/\r\n");
    TFileBrowser browser(programDir);
    browser.SetFolder(dir);
    ListedNames(browser, 2);
    QSignalSpy spy(&browser, &TFileBrowser::openRequested);

    // Entering a subfolder opens nothing and leaves the favourites alone.
    browser.ActivateListEntry(ListIndexOf(browser, dir + "sub"));
    EXPECT_EQ(browser.CurrentFolder(), dir + "sub");
    EXPECT_EQ(spy.count(), 0);
    EXPECT_EQ(browser.Favourites(), QStringList{"/elsewhere/"});

    browser.SetFolder(dir);
    ListedNames(browser, 2);
    browser.ActivateListEntry(ListIndexOf(browser, dir + "Report.PDF"));
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toString(), dir + "Report.PDF");
    EXPECT_EQ(browser.Favourites(), (QStringList{dir, "/elsewhere/"}));
    EXPECT_EQ(FileBytes(programDir + "folders.dat"), (dir + "\r\n/elsewhere/\r\n").toLocal8Bit());
}

TEST_F(FileBrowserTest, EnterOnTheSelectedFileOpensIt) {
    const QString dir = Scratch("fb-enter");
    Touch(dir + "a.pdf");
    TFileBrowser browser(Scratch("fb-enter-prog"));
    browser.SetFolder(dir);
    ListedNames(browser, 1);
    QSignalSpy spy(&browser, &TFileBrowser::openRequested);
    // Nothing selected: Enter does nothing.
    QTest::keyClick(browser.FileList(), Qt::Key_Return);
    EXPECT_EQ(spy.count(), 0);
    browser.FileList()->setCurrentIndex(ListIndexOf(browser, dir + "a.pdf"));
    QTest::keyClick(browser.FileList(), Qt::Key_Return);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toString(), dir + "a.pdf");
}

TEST_F(FileBrowserTest, FavouriteTakesTheBrowserThere) {
    const QString target = Scratch("fb-fav-target");
    const QString programDir = Scratch("fb-fav-prog");
    WriteBytes(programDir + "folders.dat", ("\r\n" + target + "\r\n/no/such/folder/\r\n").toLocal8Bit());
    TFileBrowser browser(programDir);
    const QString start = browser.CurrentFolder();
    ASSERT_FALSE(start.isEmpty());

    // The empty entry and a vanished folder leave the browser where it is.
    browser.ActivateFavourite(0);
    EXPECT_EQ(browser.CurrentFolder(), start);
    browser.ActivateFavourite(2);
    EXPECT_EQ(browser.CurrentFolder(), start);
    browser.ActivateFavourite(7);
    EXPECT_EQ(browser.CurrentFolder(), start);

    browser.PrefListBox()->setCurrentRow(1);
    QTest::keyClick(browser.PrefListBox(), Qt::Key_Return);
    EXPECT_EQ(browser.CurrentFolder(), QDir::cleanPath(target));
    // Only opening a file reorders the favourites.
    EXPECT_EQ(browser.Favourites(), (QStringList{"", target, "/no/such/folder/"}));
}

}  // namespace

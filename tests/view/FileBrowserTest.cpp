// The file browser: favourites in "folders.dat" in the user's configuration
// folder, added and removed by hand, and the folder/file list rules, on real
// folders below the build tree (offscreen).
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileSystemModel>
#include <QFileInfo>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QRegularExpression>
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
    static void SetUpTestSuite() { EnsureApplication(); }
    // Each test starts without favourites of its own.
    void SetUp() override {
        QDir().mkpath(QFileInfo(Config()).absolutePath());
        QFile::remove(Config());
    }
    void TearDown() override { QFile::remove(Config()); }

    static QString Config() { return TFileBrowser::UserFavouritesFile(); }
};

TEST_F(FileBrowserTest, LoadsFavouritesInStoredOrderWithEmptyEntries) {
    const QString dir = Scratch("fb-load");
    WriteBytes(Config(), "/b/\r\n\r\n/a/\r\n/last-without-line-end/");
    TFileBrowser browser(dir);
    EXPECT_EQ(browser.FavouritesFile(), Config());
    EXPECT_TRUE(Config().startsWith(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)));
    EXPECT_EQ(browser.Favourites(), (QStringList{"/b/", "", "/a/", "/last-without-line-end/"}));
    // The empty entry survives a save as an empty line.
    browser.AddToPrefFolders("/a/");
    EXPECT_EQ(FileBytes(Config()), QByteArray("/a/\r\n/b/\r\n\r\n/last-without-line-end/\r\n"));
    EXPECT_FALSE(QFile::exists(dir + "folders.dat"));  // never beside the program
}

TEST_F(FileBrowserTest, MissingFileGivesEmptyList) {
    const QString dir = Scratch("fb-missing");
    TFileBrowser browser(dir);
    EXPECT_TRUE(browser.Favourites().isEmpty());
    EXPECT_FALSE(QFile::exists(Config()));  // nothing written at start
    EXPECT_FALSE(QFile::exists(dir + "folders.dat"));
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
        WriteBytes(Config(), c.stored);
        TFileBrowser browser(dir);
        browser.AddToPrefFolders(c.folder);
        EXPECT_EQ(browser.Favourites(), c.expected) << c.stored.constData();
        QByteArray bytes;
        for (const QString& e : c.expected) bytes += e.toLocal8Bit() + "\r\n";
        EXPECT_EQ(FileBytes(Config()), bytes);
    }
}

TEST_F(FileBrowserTest, FileIsWrittenEvenWhenUnchanged) {
    const QString dir = Scratch("fb-rewrite");
    WriteBytes(Config(), "/a/\r\n");
    TFileBrowser browser(dir);
    QFile::remove(Config());
    browser.AddToPrefFolders("/a/");
    EXPECT_EQ(FileBytes(Config()), QByteArray("/a/\r\n"));
}

TEST_F(FileBrowserTest, NonUtf8AndUmlautFoldersRoundTrip) {
    const QString dir = Scratch("fb-umlaut");
    TFileBrowser browser(dir);
    const QString folder = QString::fromUtf8("/tmp/Bücher/");
    browser.AddToPrefFolders(folder);
    TFileBrowser again(dir);
    EXPECT_EQ(again.Favourites(), QStringList{folder});
}

// A list an older version kept beside the program is taken over; the first
// change writes the user's own, and the old file is left as it was.
TEST_F(FileBrowserTest, AnOldListBesideTheProgramIsTakenOver) {
    const QString programDir = Scratch("fb-takeover");
    WriteBytes(programDir + "folders.dat", "/old/\r\n");
    TFileBrowser browser(programDir);
    EXPECT_EQ(browser.Favourites(), QStringList{"/old/"});
    browser.AddToPrefFolders("/p/");
    EXPECT_EQ(FileBytes(Config()), QByteArray("/p/\r\n/old/\r\n"));
    EXPECT_EQ(FileBytes(programDir + "folders.dat"), QByteArray("/old/\r\n"));
    // From now on the user's list wins.
    WriteBytes(programDir + "folders.dat", "/changed/\r\n");
    TFileBrowser again(programDir);
    EXPECT_EQ(again.Favourites(), (QStringList{"/p/", "/old/"}));
}

// By hand: the buttons, the context menu and the Delete key.
TEST_F(FileBrowserTest, FavouritesAreAddedAndRemovedByHand) {
    const QString shown = Scratch("fb-hand-shown");
    WriteBytes(Config(), "/a/\r\n/b/\r\n");
    TFileBrowser browser(Scratch("fb-hand-prog"));
    browser.SetFolder(shown);
    EXPECT_FALSE(browser.RemoveFavouriteButton()->isEnabled());  // nothing selected

    QTest::mouseClick(browser.AddFavouriteButton(), Qt::LeftButton);
    EXPECT_EQ(browser.Favourites(), (QStringList{shown, "/a/", "/b/"}));
    EXPECT_EQ(FileBytes(Config()), (shown + "\r\n/a/\r\n/b/\r\n").toLocal8Bit());

    browser.PrefListBox()->setCurrentRow(1);
    ASSERT_TRUE(browser.RemoveFavouriteButton()->isEnabled());
    QTest::mouseClick(browser.RemoveFavouriteButton(), Qt::LeftButton);
    EXPECT_EQ(browser.Favourites(), (QStringList{shown, "/b/"}));

    browser.PrefListBox()->setCurrentRow(1);
    QTest::keyClick(browser.PrefListBox(), Qt::Key_Delete);
    EXPECT_EQ(browser.Favourites(), QStringList{shown});

    // The context menu offers the same two commands.
    const QList<QAction*> menu = browser.PrefListBox()->actions();
    ASSERT_EQ(menu.size(), 2);
    EXPECT_EQ(menu[0]->text(), "Ordner hinzufügen");
    EXPECT_EQ(menu[1]->text(), "Entfernen");
    browser.PrefListBox()->setCurrentRow(0);
    menu[1]->trigger();
    EXPECT_TRUE(browser.Favourites().isEmpty());
    EXPECT_EQ(FileBytes(Config()), QByteArray());
    menu[0]->trigger();
    EXPECT_EQ(browser.Favourites(), QStringList{shown});

    TFileBrowser again(Scratch("fb-hand-prog"));
    EXPECT_EQ(again.Favourites(), QStringList{shown});
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
    // Dates in the program's language, whatever the system's is.
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString date = ListIndexOf(browser, dir + "one.pdf").siblingAtColumn(3).data().toString();
    QLocale::setDefault(before);
    EXPECT_TRUE(QRegularExpression(R"(^\d\d\.\d\d\.\d\d \d\d:\d\d$)").match(date).hasMatch()) << date.toStdString();
    // The tree follows the list's folder.
    auto* treeModel = static_cast<QFileSystemModel*>(browser.FolderTree()->model());
    EXPECT_EQ(treeModel->filePath(browser.FolderTree()->currentIndex()), QDir::cleanPath(dir));
}

// Choosing a file asks the window to open it; whether its folder becomes a
// favourite is the window's decision, after the open.
TEST_F(FileBrowserTest, ChoosingAFileAsksForItsOpenAndLeavesTheFavourites) {
    const QString dir = Scratch("fb-open");
    Touch(dir + "Report.PDF");
    QDir(dir).mkdir("sub");
    const QString programDir = Scratch("fb-open-prog");
    WriteBytes(Config(), "/elsewhere/\r\n");
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
    EXPECT_EQ(browser.Favourites(), QStringList{"/elsewhere/"});
    EXPECT_EQ(FileBytes(Config()), QByteArray("/elsewhere/\r\n"));
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
    // Going to a favourite does not reorder them.
    EXPECT_EQ(browser.Favourites(), (QStringList{"", target, "/no/such/folder/"}));
}

}  // namespace

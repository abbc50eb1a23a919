// The window with a file past 2 GiB: it opens, and its last page is drawn.
// GW_WINDOW_FILE names another file to try the same on (a catalogue of
// photos, say); it is not part of the normal run.
#include <unistd.h>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QSpinBox>
#include <cstdlib>
#include <filesystem>

#include "ContentInterpreter.h"
#include "MainFormFixture.h"

namespace {

class LargeFileWindowTest : public MainFormTest {};

TEST_F(LargeFileWindowTest, OpensAFilePastTwoGibibytesAndShowsItsLastPage) {
    std::string path;
    bool made = false;
    if (const char* other = std::getenv("GW_WINDOW_FILE")) {
        path = other;
    } else {
        path = (std::filesystem::temp_directory_path() / ("gw-window-large-" + std::to_string(getpid()) + ".pdf")).string();
        WriteSparsePdf(path, (int64_t{1} << 31) + (int64_t{1} << 20), 3);
        made = true;
    }
    form->resize(1280, 800);
    form->show();
    const bool opened = form->openfilenow(QString::fromStdString(path));
    if (made) std::filesystem::remove(path);
    ASSERT_TRUE(opened) << (messages.empty() ? std::string() : messages[0].text.toStdString());
    const int32_t pages = form->Document().pageList.Count();
    ASSERT_GT(pages, 0);
    EXPECT_EQ(form->FontsTab->Label6->text(), "von " + QString::number(pages));
    form->FontsTab->PageEd->setValue(pages);
    QApplication::processEvents();
    // The last page's items are in the display list and its fonts in the table.
    EXPECT_FALSE(ItemsOfPage(form->Document(), pages).empty());
    EXPECT_GT(form->FontsTab->FontListView->topLevelItemCount(), 0);
    if (const char* shot = std::getenv("GW_WINDOW_SHOT")) form->grab().toImage().save(shot);
}

}  // namespace

// The main window under test: a fresh window per test with its own program
// folder, every message box answered by `answer` and recorded.
#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <algorithm>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "FontsTab.h"
#include "InfoTab.h"
#include "MainForm.h"
#include "OpenPDFForm.h"
#include "OpenTab.h"
#include "SaveTab.h"
#include "TestSupport.h"
#include "ViewTestApp.h"
#include "WindowParts.h"

struct TAskedMessage {
    QMessageBox::Icon icon;
    QString caption;
    QString text;
};

class MainFormTest : public ::testing::Test {
protected:
    // The font table's column "Neue Schriftart".
    static constexpr int kNewFont = 5;

    static void SetUpTestSuite() { EnsureApplication(); }

    void SetUp() override {
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        programDir = QString::fromStdString(ScratchDir("window-" + name)) + "/";
        form = std::make_unique<TMainForm>(programDir);
        // A password dialog would wait for a user: the tests type a wrong
        // password, so that an encrypted file ends as without one.
        form->testHooks.password = [](const QString&, int) -> std::optional<QString> { return QString("falsch"); };
        form->testHooks.message = [this](QMessageBox::Icon icon, const QString& caption, const QString& text) {
            messages.push_back({icon, caption, text});
            return answer;
        };
    }

    void TearDown() override {
        form->testHooks = TDialogHooks{};
        form.reset();
    }

    void Open(const std::string& corpusFile) {
        form->FormShow({QString::fromStdString(CorpusPath(corpusFile))});
    }

    // The "Alte Schriftart" column, sorted as the manifest lists the fonts.
    std::vector<std::string> TableFonts() const {
        std::vector<std::string> names;
        for (int i = 0; i < form->FontsTab->FontListView->topLevelItemCount(); ++i)
            names.push_back(form->FontsTab->FontListView->topLevelItem(i)->text(0).toStdString());
        std::sort(names.begin(), names.end());
        return names;
    }

    static const TManifestRow& Manifest(const std::string& file) {
        static const std::vector<TManifestRow> rows = LoadManifest();
        const auto it = std::find_if(rows.begin(), rows.end(), [&](const TManifestRow& r) { return r.file == file; });
        if (it == rows.end()) throw std::runtime_error("not in the manifest: " + file);
        return *it;
    }

    void SelectRow(int row) {
        form->FontsTab->FontListView->setCurrentItem(form->FontsTab->FontListView->topLevelItem(row));
        ASSERT_EQ(form->FontsTab->FontListView->selectedItems().size(), 1);
    }

    // The font record behind table row `row` of page 1.
    const TFontRecord& RecordOfRow(int row) {
        int seen = -1;
        for (const TFontRecord& font : form->Document().fontList) {
            if (font.hidden == 0 && font.pageIndex == 0 && ++seen == row) return font;
        }
        throw std::runtime_error("no such row");
    }

    // Runs `act` on the window's thread and waits for it: what a reader hook
    // (on the reader's thread) does to the window, as a user would meanwhile.
    void OnWindowThread(const std::function<void()>& act) {
        QMetaObject::invokeMethod(form.get(), act, Qt::BlockingQueuedConnection);
    }

    // Clicks "Aktion abbrechen" while the reader is on `label` (once).
    void CancelWhileOn(const QString& label) {
        form->testHooks.readerStep = [this, label, clicked = std::make_shared<bool>(false)](const QString& now) {
            if (*clicked || now != label) return;
            *clicked = true;
            OnWindowThread([this] { form->OpenPDFForm->BreakBtn->click(); });
        };
    }

    // The resource names a list of fonts offers (its items' data).
    static QStringList Items(const QComboBox* box) {
        QStringList items;
        for (int i = 0; i < box->count(); ++i) items << box->itemData(i).toString();
        return items;
    }

    QString programDir;
    std::unique_ptr<TMainForm> form;
    std::vector<TAskedMessage> messages;
    QMessageBox::StandardButton answer = QMessageBox::Ok;
};

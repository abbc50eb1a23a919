// The window and encrypted files: the password dialog's three tries,
// "Abbrechen" keeping the document shown, and a file whose permissions
// forbid changes opened to be looked at only.
#include <gtest/gtest.h>

#include <QLabel>
#include <optional>

#include "MainFormFixture.h"

namespace {

const QString kEncrypted = "Diese PDF-Datei ist verschlüsselt und kann nicht gelesen werden!";

QString Encrypted(const std::string& file) { return QString::fromStdString(DataPath("encrypted/" + file)); }

class PasswordDialogTest : public MainFormTest {
protected:
    // The dialog answers these in turn (nothing: "Abbrechen") and records
    // the attempt numbers it was shown with.
    void Answer(std::vector<std::optional<QString>> answers) {
        answers_ = std::move(answers);
        form->testHooks.password = [this](const QString&, int attempt) -> std::optional<QString> {
            attempts.push_back(attempt);
            if (attempts.size() > answers_.size()) return std::nullopt;
            return answers_[attempts.size() - 1];
        };
    }
    std::vector<int> attempts;

private:
    std::vector<std::optional<QString>> answers_;
};

TEST_F(PasswordDialogTest, ThreeTriesThenTheEncryptionMessageAlone) {
    struct TCase {
        const char* name;
        std::vector<std::optional<QString>> answers;
        bool opens;
        std::vector<int> attempts;
    };
    const std::vector<TCase> cases = {
        {"right at once", {QString("user")}, true, {1}},
        {"user password on the third try", {QString("x"), QString("y"), QString("user")}, true, {1, 2, 3}},
        {"owner password", {QString("x"), QString::fromUtf8("Öl-Eigentümer")}, true, {1, 2}},
        {"three wrong", {QString("x"), QString("y"), QString("z")}, false, {1, 2, 3}},
    };
    for (const TCase& c : cases) {
        attempts.clear();
        messages.clear();
        Answer(c.answers);
        const bool shown = form->openfilenow(Encrypted("r6-aes256-user-nomodify.pdf"));
        EXPECT_EQ(shown, c.opens) << c.name;
        EXPECT_EQ(attempts, c.attempts) << c.name;
        if (c.opens) {
            EXPECT_TRUE(messages.empty()) << c.name << ": " << messages.front().text.toStdString();
            EXPECT_EQ(form->Document().pageList.Count(), 3) << c.name;
        } else {
            ASSERT_EQ(messages.size(), 1u) << c.name;
            EXPECT_EQ(messages[0].text, kEncrypted) << c.name;
        }
    }
}

TEST_F(PasswordDialogTest, CancelKeepsTheDocumentShown) {
    Open("gs-std14-v12.pdf");
    ASSERT_EQ(form->Document().pageList.Count(), 3);
    const QString before = form->DocumentPath();
    for (const auto& answers : {std::vector<std::optional<QString>>{std::nullopt},
                                std::vector<std::optional<QString>>{QString("falsch"), std::nullopt}}) {
        attempts.clear();
        messages.clear();
        Answer(answers);
        EXPECT_FALSE(form->openfilenow(Encrypted("r5-aes256-user.pdf")));
        EXPECT_EQ(attempts.size(), answers.size());
        EXPECT_TRUE(messages.empty());
        EXPECT_EQ(form->DocumentPath(), before);
        EXPECT_EQ(form->Document().pageList.Count(), 3);
        EXPECT_TRUE(form->SaveTab->SaveBtn->isEnabled());
    }
}

TEST_F(PasswordDialogTest, ChangesForbiddenLeaveTheFileToBeLookedAt) {
    Answer({});
    ASSERT_TRUE(form->openfilenow(Encrypted("r3-rc4-128-nomodify.pdf")));
    EXPECT_TRUE(attempts.empty());
    EXPECT_EQ(form->Document().pageList.Count(), 3);
    EXPECT_GT(form->FontsTab->FontListView->topLevelItemCount(), 0);
    for (QWidget* command : {static_cast<QWidget*>(form->SaveTab->SaveBtn), static_cast<QWidget*>(form->FontsTab->ChangeBtn),
                             static_cast<QWidget*>(form->FontsTab->EmbedFontsBtn)}) {
        EXPECT_FALSE(command->isEnabled());
        EXPECT_TRUE(command->toolTip().startsWith("Änderung nicht erlaubt")) << command->toolTip().toStdString();
    }
    EXPECT_TRUE(form->InfoTab->PermissionsLabel->text().contains("Ändern: nein"));
    EXPECT_TRUE(form->InfoTab->EncryptionLabel->text().startsWith("R3, RC4 128 Bit"));

    // The next file, not encrypted, has every command back.
    messages.clear();
    Answer({});
    Open("gs-std14-v12.pdf");
    EXPECT_TRUE(form->FontsTab->ChangeBtn->isEnabled());
    EXPECT_TRUE(form->SaveTab->SaveBtn->isEnabled());
    EXPECT_TRUE(form->FontsTab->ChangeBtn->toolTip().isEmpty());
    EXPECT_EQ(form->InfoTab->EncryptionLabel->text(), "keine");
}

}  // namespace

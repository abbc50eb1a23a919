// A file the window cannot open is named for what it is: not a PDF file, an
// empty file, a damaged PDF file, an encrypted one, or one that needs what
// the reader cannot do. Each says so in a message of its own.
#include <gtest/gtest.h>

#include <QLabel>
#include <set>

#include "MainFormFixture.h"

namespace {

class OpenMessagesTest : public MainFormTest {};

TEST_F(OpenMessagesTest, EachKindOfUnreadableFileHasItsOwnMessage) {
    const std::string dir = ScratchDir("open-messages");
    WriteFileBytes(dir + "/empty.pdf", "");
    WriteFileBytes(dir + "/notes.pdf", "Einkaufsliste: Brot, Milch\n");
    // A header, then the rest of the file lost: nothing a repair could find.
    WriteFileBytes(dir + "/damaged.pdf", "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n1 0 obj\n<< /Type /Pa");
    struct TCase {
        const char* what;
        std::string path;
        QString message;
    };
    const TCase cases[] = {
        {"empty", dir + "/empty.pdf", "Die Datei ist leer."},
        {"not a PDF file", dir + "/notes.pdf", "Diese Datei ist keine PDF-Datei."},
        {"damaged", dir + "/damaged.pdf", "Dies ist keine gültige PDF-Datei."},
        {"encrypted", CorpusPath("encrypted-rc4-128.pdf"),
         "Diese PDF-Datei ist verschlüsselt und kann nicht gelesen werden!"},
        {"unsupported", DataPath("xref/objstm-runlength.pdf"),
         "Diese PDF-Datei nutzt eine Funktion, die das Programm nicht unterstützt (Komprimierung /RunLengthDecode), "
         "und kann deshalb nicht gelesen werden!"},
    };
    std::set<QString> firstMessages;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        messages.clear();
        EXPECT_FALSE(form->openfilenow(QString::fromStdString(c.path)));
        ASSERT_FALSE(messages.empty());
        EXPECT_EQ(messages[0].text, c.message);
        EXPECT_EQ(messages[0].icon, QMessageBox::Critical);
        firstMessages.insert(messages[0].text);
        EXPECT_TRUE(form->StatusPanel0->text().contains("nicht geöffnet")) << form->StatusPanel0->text().toStdString();
    }
    EXPECT_EQ(firstMessages.size(), std::size(cases));
}

}  // namespace

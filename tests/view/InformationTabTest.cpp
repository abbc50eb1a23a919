// The tab "Informationen" through a save and a fresh open: any character
// survives, what the user left alone keeps its bytes, and pdfinfo agrees.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <cstdio>

#include "MainFormFixture.h"

namespace {

std::string PdfInfo(const std::string& path) {
    std::string out;
    if (FILE* pipe = popen(("pdfinfo -enc UTF-8 '" + path + "' 2>&1").c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

class InformationTabTest : public MainFormTest {
protected:
    std::string SaveAs(const std::string& name) {
        const std::string target = ScratchDir("info-tab-" + name) + "/" + name;
        form->SaveTab->ShowPDFCheck->setChecked(false);
        form->testHooks.saveFileName = [target] { return std::optional<QString>(QString::fromStdString(target)); };
        form->SaveTab->SaveBtn->click();
        form->testHooks.saveFileName = nullptr;
        return target;
    }
};

TEST_F(InformationTabTest, AnyCharacterInTheTitleSurvivesSavingAndOpening) {
    struct TCase {
        const char* file;
        QString title;
        std::string bytes;  // how the file holds it
    };
    const TCase cases[] = {
        {"pdfdoc.pdf", "Bericht – 5 € (Entwurf)", "(Bericht \x85 5 \xA0 \\(Entwurf\\))"},
        {"utf16.pdf", "Σ – €", "<FEFF03A300202013002020AC>"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.file);
        Open("gs-std14-v12.pdf");
        form->InfoTab->Edit4->setText(c.title);
        const std::string saved = SaveAs(c.file);
        ASSERT_TRUE(messages.empty()) << messages[0].text.toStdString();
        EXPECT_NE(ReadFileText(saved).find("/Title " + c.bytes), std::string::npos);
        // The window shows the saved file, read afresh.
        EXPECT_EQ(form->DocumentPath().toStdString(), saved);
        EXPECT_EQ(form->InfoTab->Edit4->text(), c.title);
        EXPECT_NE(PdfInfo(saved).find("Title:           " + c.title.toStdString() + "\n"), std::string::npos)
            << PdfInfo(saved);
    }
}

TEST_F(InformationTabTest, UnchangedInformationKeepsItsBytesAndGainsOnlyTheModificationDate) {
    Open("gs-std14-v12.pdf");
    const std::string saved = SaveAs("unchanged.pdf");
    ASSERT_TRUE(messages.empty()) << messages[0].text.toStdString();
    const std::string bytes = ReadFileText(saved);
    EXPECT_NE(bytes.find("/Producer (GPL Ghostscript 10.00.0)\r"), std::string::npos);
    EXPECT_NE(bytes.find("/Creator (corpus/tools/gen_ps.py)\r"), std::string::npos);
    for (const char* absent : {"/Title", "/Author", "/Subject", "/Keywords", "/CreationDate"})
        EXPECT_EQ(bytes.find(absent), std::string::npos) << absent;
    const std::string info = PdfInfo(saved);
    EXPECT_NE(info.find("Producer:        GPL Ghostscript 10.00.0\n"), std::string::npos) << info;
    EXPECT_NE(info.find("ModDate:"), std::string::npos) << info;
    EXPECT_EQ(info.find("CreationDate:"), std::string::npos) << info;
}

TEST_F(InformationTabTest, AFileWithoutInformationGetsWhatTheUserTyped) {
    Open("mutool-create-noinfo-v17.pdf");
    form->InfoTab->Edit3->setText("Zoë");
    const std::string saved = SaveAs("author.pdf");
    ASSERT_TRUE(messages.empty()) << messages[0].text.toStdString();
    EXPECT_EQ(form->InfoTab->Edit3->text(), "Zoë");
    EXPECT_NE(PdfInfo(saved).find("Author:          Zoë\n"), std::string::npos) << PdfInfo(saved);
}

}  // namespace

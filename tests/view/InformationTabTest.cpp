// The tab "Informationen" through a save and a fresh open: any character
// survives, what the user left alone keeps its bytes, and pdfinfo agrees.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QDateTime>
#include <QRegularExpression>
#include <cstdio>

#include "Filters.h"
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

// A file saved as PDF 1.5 or later holds its document information in a
// packed object stream: the packed objects are appended to the bytes, so
// that their tokens are found as they were written.
std::string WithObjectStreamsUnpacked(std::string bytes) {
    const size_t end = bytes.size();
    for (size_t at = bytes.find("/ObjStm"); at < end; at = bytes.find("/ObjStm", at + 1)) {
        const size_t keyword = bytes.find("stream", at);
        if (keyword == std::string::npos) break;
        size_t data = keyword + 6;
        if (bytes[data] == '\r') ++data;
        if (bytes[data] == '\n') ++data;
        const size_t stop = bytes.find("endstream", data);
        if (stop == std::string::npos) break;
        const TInflated packed = Inflate(reinterpret_cast<const uint8_t*>(bytes.data() + data), stop - data);
        bytes.append(packed.bytes.begin(), packed.bytes.end());
    }
    return bytes;
}

// The string token that follows `/key` in a file's bytes, as written:
// "(...)" or "<...>", or empty when the key is not there.
std::string InfoToken(const std::string& bytes, const std::string& key) {
    const std::string name = "/" + key;
    size_t at = bytes.find(name);
    while (at != std::string::npos && std::isalnum(static_cast<unsigned char>(bytes[at + name.size()])))
        at = bytes.find(name, at + 1);
    if (at == std::string::npos) return {};
    size_t start = bytes.find_first_not_of(" \r\n\t", at + name.size());
    if (start == std::string::npos) return {};
    if (bytes[start] == '<') return bytes.substr(start, bytes.find('>', start) + 1 - start);
    int depth = 0;
    for (size_t i = start; i < bytes.size(); ++i) {
        if (bytes[i] == '\\') ++i;
        else if (bytes[i] == '(') ++depth;
        else if (bytes[i] == ')' && --depth == 0) return bytes.substr(start, i + 1 - start);
    }
    return {};
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

// Entries in UTF-16 and a creation date, all left alone: the same tokens
// again, and a modification date of the time of saving with its offset.
TEST_F(InformationTabTest, UntouchedEntriesAreCopiedAndTheModificationDateIsTheSavingTime) {
    Open("libreoffice-writer-v16.pdf");
    const std::string input = ReadFileText(CorpusPath("libreoffice-writer-v16.pdf"));
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
    const std::string bytes = WithObjectStreamsUnpacked(ReadFileText(SaveAs("untouched.pdf")));
    const QDateTime after = QDateTime::currentDateTimeUtc().addSecs(1);
    ASSERT_TRUE(messages.empty()) << messages[0].text.toStdString();
    for (const char* key : {"Title", "Author", "Producer", "CreationDate"}) {
        ASSERT_FALSE(InfoToken(input, key).empty()) << key;
        EXPECT_EQ(InfoToken(bytes, key), InfoToken(input, key)) << key;
    }
    for (const char* absent : {"Creator", "Subject", "Keywords"}) EXPECT_EQ(InfoToken(bytes, absent), "") << absent;

    const QString modDate = QString::fromStdString(InfoToken(bytes, "ModDate"));
    const QRegularExpressionMatch m =
        QRegularExpression(R"(^\(D:(\d{14})(Z|([+-])(\d\d)'(\d\d)'?)\)$)").match(modDate);
    ASSERT_TRUE(m.hasMatch()) << modDate.toStdString();
    const QDateTime local = QDateTime::fromString(m.captured(1), "yyyyMMddHHmmss");
    QDateTime saved(local.date(), local.time(), Qt::UTC);
    if (m.captured(2) != "Z") {
        const int offset = (m.captured(4).toInt() * 60 + m.captured(5).toInt()) * 60;
        saved = saved.addSecs(m.captured(3) == "+" ? -offset : offset);
    }
    EXPECT_GE(saved, before.addMSecs(-before.time().msec())) << modDate.toStdString();
    EXPECT_LE(saved, after) << modDate.toStdString();
}

TEST_F(InformationTabTest, AFileWithoutInformationGetsWhatTheUserTyped) {
    Open("mutool-create-noinfo-v17.pdf");
    form->InfoTab->Edit3->setText("Zoë");
    const std::string saved = SaveAs("author.pdf");
    ASSERT_TRUE(messages.empty()) << messages[0].text.toStdString();
    EXPECT_EQ(form->InfoTab->Edit3->text(), "Zoë");
    EXPECT_NE(PdfInfo(saved).find("Author:          Zoë\n"), std::string::npos) << PdfInfo(saved);
}

// The standards a file claims, shown under the dates; and a save that could
// not keep the metadata in step says so in the status bar.
TEST_F(InformationTabTest, ShowsClaimsAndTellsWhenMetadataIsCopiedUnread) {
    form->FormShow({QString::fromStdString(DataPath("realworld/pypdf__021-pdfa__crazyones-pdfa.pdf"))});
    EXPECT_EQ(form->InfoTab->ClaimsLabel->text(), "PDF/A-1b");
    Open("gs-std14-v12.pdf");
    EXPECT_EQ(form->InfoTab->ClaimsLabel->text(), "keine Angabe");

    // Its packet's header is no UTF-8: copied as it stands.
    form->FormShow({QString::fromStdString(DataPath("realworld/pdfminer__samples__acroform__AcroForm_TEST.pdf"))});
    form->InfoTab->Edit4->setText("Neu");
    SaveAs("unread.pdf");
    ASSERT_TRUE(messages.empty()) << messages[0].text.toStdString();
    EXPECT_TRUE(form->StatusPanel0->text().startsWith("Die XMP-Metadaten der Datei lassen sich nicht lesen"))
        << form->StatusPanel0->text().toStdString();
}

}  // namespace

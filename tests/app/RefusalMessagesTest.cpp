// The sentences that explain a refused replacement are shared by the window
// and glyphwell-cli; each reason reads right in the singular and the plural,
// with font names in the file's encoding shown as UTF-8.
#include <gtest/gtest.h>

#include "RefusalMessages.h"
#include "ReplacementChecks.h"

namespace {

TRefusedReplacement Refusal(TRefusalReason reason, std::vector<int32_t> pages, int32_t count = 0) {
    TRefusedReplacement refusal;
    refusal.reason = reason;
    refusal.oldFont = "Arial-BoldMT";
    refusal.newFont = "Liberation Sans";
    refusal.pages = std::move(pages);
    refusal.unknownCharacters = count;
    refusal.otherCharacters = count;
    return refusal;
}

}  // namespace

TEST(RefusalMessages, PagesJoinRunsOfConsecutiveNumbers) {
    EXPECT_EQ(PagesText({}), "");
    EXPECT_EQ(PagesText({7}), "7");
    EXPECT_EQ(PagesText({1, 2, 3, 5, 7, 8}), "1-3, 5, 7-8");
}

TEST(RefusalMessages, EachReasonInSingularAndPlural) {
    EXPECT_EQ(RefusalLine(Refusal(TRefusalReason::UnknownCharacters, {2}, 1)),
              "Seite 2: Arial-BoldMT kann nicht ersetzt werden: für 1 Zeichen ist nicht bekannt, welcher "
              "Buchstabe es ist.");
    EXPECT_EQ(RefusalLine(Refusal(TRefusalReason::UnknownCharacters, {1, 2, 4}, 3)),
              "Seiten 1-2, 4: Arial-BoldMT kann nicht ersetzt werden: für 3 Zeichen ist nicht bekannt, welche "
              "Buchstaben sie sind.");
    EXPECT_EQ(RefusalSentence(Refusal(TRefusalReason::OtherCharacters, {1}, 1)),
              "Arial-BoldMT kann nicht durch Liberation Sans ersetzt werden: Liberation Sans zeigt für 1 Zeichen "
              "einen anderen Buchstaben oder gar keinen.");
    EXPECT_EQ(RefusalSentence(Refusal(TRefusalReason::OtherCharacters, {1}, 12)),
              "Arial-BoldMT kann nicht durch Liberation Sans ersetzt werden: Liberation Sans zeigt für 12 Zeichen "
              "andere Buchstaben oder gar keine.");
}

TEST(RefusalMessages, CodeWidthsNamesWhichFontIsComposite) {
    TRefusedReplacement refusal = Refusal(TRefusalReason::CodeWidths, {1});
    refusal.oldComposite = true;
    EXPECT_EQ(RefusalSentence(refusal),
              "Arial-BoldMT kann nicht durch Liberation Sans ersetzt werden: Arial-BoldMT ist eine zusammengesetzte "
              "Schrift mit Zeichencodes aus mehreren Bytes, Liberation Sans eine einfache mit einem Byte je Zeichen.");
    refusal.oldComposite = false;
    EXPECT_NE(RefusalSentence(refusal).find("Liberation Sans ist eine zusammengesetzte Schrift"), std::string::npos);
}

TEST(RefusalMessages, FontNamesInTheFilesEncodingReadAsUtf8) {
    TRefusedReplacement refusal = Refusal(TRefusalReason::UnknownCharacters, {1}, 2);
    refusal.oldFont = "B\xe4r";  // "Bär" in the file's single-byte encoding
    EXPECT_EQ(RefusalSentence(refusal).rfind("B\xc3\xa4r kann nicht ersetzt werden", 0), 0u);
}

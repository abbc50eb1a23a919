#include "RefusalMessages.h"

#include "PdfText.h"
#include "ReplacementChecks.h"

std::string PagesText(const std::vector<int32_t>& pages) {
    std::string text;
    for (size_t i = 0; i < pages.size();) {
        size_t j = i;
        while (j + 1 < pages.size() && pages[j + 1] == pages[j] + 1) ++j;
        if (!text.empty()) text += ", ";
        text += std::to_string(pages[i]);
        if (j > i) text += "-" + std::to_string(pages[j]);
        i = j + 1;
    }
    return text;
}

std::string RefusalSentence(const TRefusedReplacement& refusal) {
    const std::string oldFont = Cp1252ToUtf8(refusal.oldFont);
    const std::string newFont = Cp1252ToUtf8(refusal.newFont);
    if (refusal.reason == TRefusalReason::CodeWidths) {
        const std::string& composite = refusal.oldComposite ? oldFont : newFont;
        const std::string& simple = refusal.oldComposite ? newFont : oldFont;
        return oldFont + " kann nicht durch " + newFont + " ersetzt werden: " + composite +
               " ist eine zusammengesetzte Schrift mit Zeichencodes aus mehreren Bytes, " + simple +
               " eine einfache mit einem Byte je Zeichen.";
    }
    if (refusal.reason == TRefusalReason::OtherCharacters) {
        const int32_t count = refusal.otherCharacters;
        return oldFont + " kann nicht durch " + newFont + " ersetzt werden: " + newFont + " zeigt für " +
               std::to_string(count) +
               (count == 1 ? " Zeichen einen anderen Buchstaben oder gar keinen." : " Zeichen andere Buchstaben oder gar keine.");
    }
    const int32_t count = refusal.unknownCharacters;
    return oldFont + " kann nicht ersetzt werden: für " + std::to_string(count) +
           (count == 1 ? " Zeichen ist nicht bekannt, welcher Buchstabe es ist."
                       : " Zeichen ist nicht bekannt, welche Buchstaben sie sind.");
}

std::string RefusalLine(const TRefusedReplacement& refusal) {
    return (refusal.pages.size() == 1 ? "Seite " : "Seiten ") + PagesText(refusal.pages) + ": " +
           RefusalSentence(refusal);
}

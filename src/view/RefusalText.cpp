#include "RefusalText.h"

#include <QStringList>

#include "PdfText.h"
#include "ReplacementChecks.h"

QString RefusalText(const TRefusedReplacement& refusal) {
    const QString oldFont = QString::fromStdString(Cp1252ToUtf8(refusal.oldFont));
    const QString newFont = QString::fromStdString(Cp1252ToUtf8(refusal.newFont));
    if (refusal.reason == TRefusalReason::CodeWidths) {
        const QString& composite = refusal.oldComposite ? oldFont : newFont;
        const QString& simple = refusal.oldComposite ? newFont : oldFont;
        return QString("%1 kann nicht durch %2 ersetzt werden: %3 ist eine zusammengesetzte Schrift mit "
                       "Zeichencodes aus mehreren Bytes, %4 eine einfache mit einem Byte je Zeichen.")
            .arg(oldFont, newFont, composite, simple);
    }
    if (refusal.reason == TRefusalReason::OtherCharacters) {
        const int count = refusal.otherCharacters;
        return QString("%1 kann nicht durch %2 ersetzt werden: %2 zeigt für %3 Zeichen %4.")
            .arg(oldFont, newFont)
            .arg(count)
            .arg(count == 1 ? "einen anderen Buchstaben oder gar keinen" : "andere Buchstaben oder gar keine");
    }
    const int count = refusal.unknownCharacters;
    return QString("%1 kann nicht ersetzt werden: für %2 Zeichen ist nicht bekannt, %3.")
        .arg(oldFont)
        .arg(count)
        .arg(count == 1 ? "welcher Buchstabe es ist" : "welche Buchstaben sie sind");
}

QString PagesText(const std::vector<int32_t>& pages) {
    QStringList runs;
    for (size_t i = 0; i < pages.size();) {
        size_t j = i;
        while (j + 1 < pages.size() && pages[j + 1] == pages[j] + 1) ++j;
        runs << (j > i ? QString("%1-%2").arg(pages[i]).arg(pages[j]) : QString::number(pages[i]));
        i = j + 1;
    }
    return runs.join(", ");
}

QString RefusalLine(const TRefusedReplacement& refusal) {
    return (refusal.pages.size() == 1 ? "Seite " : "Seiten ") + PagesText(refusal.pages) + ": " +
           RefusalText(refusal);
}

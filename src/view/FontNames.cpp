#include "FontNames.h"

#include "PdfRecords.h"
#include "PdfText.h"

namespace {

QString NameText(const std::string& name) {
    const std::string bare = !name.empty() && name[0] == '/' ? name.substr(1) : name;
    return QString::fromStdString(Cp1252ToUtf8(bare));
}

}  // namespace

QString FontName(const TFontRecord& font) {
    QString name = NameText(font.baseFont);
    // A subset's name starts with six capitals and "+".
    if (name.size() > 7 && name[6] == '+') {
        bool tag = true;
        for (int i = 0; i < 6; ++i) tag = tag && name[i] >= 'A' && name[i] <= 'Z';
        if (tag) name = name.mid(7);
    }
    return name;
}

QString FontTypeText(const TFontRecord& font) {
    static const std::pair<const char*, const char*> kTypes[] = {
        {"/Type1", "Type 1"},   {"/MMType1", "Multiple Master"}, {"/TrueType", "TrueType"},
        {"/Type3", "Type 3"},   {"/Type0", "Type 0 (CID)"},      {"/CIDFontType0", "CID Type 0"},
        {"/CIDFontType2", "CID TrueType"}};
    for (const auto& [subtype, text] : kTypes)
        if (font.subtype == subtype) return text;
    return NameText(font.subtype);
}

QString FontEmbeddedText(const TFontRecord& font) {
    // A Type 3 font carries its glyphs in its own dictionary.
    return font.embedded || font.isType3 ? "ja" : "nein";
}

QString FontEncodingText(const TFontRecord& font) {
    QString text = NameText(font.encodingName);
    if (font.hasDifferences) text = text.isEmpty() ? "Differences" : text + " + Differences";
    return text.isEmpty() ? "eingebaut" : text;
}

QString FontCaption(const TFontRecord& font) {
    const QString resName = QString::fromStdString(Cp1252ToUtf8(font.resName));
    QString name = FontName(font);
    if (name.isEmpty()) name = NameText(font.baseFontName);
    return name.isEmpty() ? resName : resName + " (" + name + ")";
}

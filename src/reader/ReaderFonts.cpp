// Font records of every page: widths, encodings, /Differences and /CharSet.
#include "Charsets.h"
#include "PdfDocument.h"

namespace {

constexpr size_t kSlots = 256;

bool IsDirectValue(const std::vector<std::string>& tokens) { return tokens.size() < 4 || tokens[3] != "R"; }

// The body position of the object a reference entry names, the cursor left
// where it was; nothing when the number does not convert or is not in the
// object table.
std::optional<TFilePos> ReferencedBodyPos(TPdfDocument& doc, const std::string& objNumText) {
    const TFilePos savedPos = doc.GetPos();
    const auto objNum = TryStrToInt(objNumText);
    std::optional<TFilePos> bodyPos;
    if (objNum && doc.FetchObject(*objNum)) bodyPos = doc.GetPos();
    doc.SetPos(savedPos);
    return bodyPos;
}

// Each width converts on its own: one that does not still uses up its slot,
// so the widths behind it keep their codes.
void StoreWidth(TFontRecord& font, size_t slot, const std::string& text) {
    if (slot >= kSlots) return;
    if (auto width = TryStrToFloat(FixDecimalPoint(text))) {
        TFontCodes& codes = font.EditCodes();
        codes.widths[slot] = *width;
        codes.widthSet[slot] = 1;
    }
}

void ReadWidths(TPdfDocument& doc, TFontRecord& font, const std::vector<std::string>& tokens) {
    if (IsDirectValue(tokens)) {
        if (tokens.size() < 4 || tokens[1] != "[") return;
        // Tokens 3 up to the one before the closing "]".
        for (size_t i = 2; i + 1 < tokens.size() && i - 2 < kSlots; ++i) StoreWidth(font, i - 2, tokens[i]);
        return;
    }
    const TFilePos savedPos = doc.GetPos();
    const auto objNum = TryStrToInt(tokens[1]);
    if (objNum && doc.FetchObject(*objNum) && doc.ReadToken() == "[") {
        // Widths past slot 255 are ignored, so reading stops there; the end
        // test keeps a missing "]" from reading filler bytes for ever.
        for (size_t slot = 0; slot < kSlots && doc.GetPos() < doc.End(); ++slot) {
            const std::string token = doc.ReadToken();
            if (token == "]") break;
            StoreWidth(font, slot, token);
        }
    }
    doc.SetPos(savedPos);
}

int32_t EncodingFromName(const std::string& name) {
    if (name == "/StandardEncoding") return kStandardEncoding;
    if (name == "/MacRomanEncoding") return kMacRomanEncoding;
    if (name == "/WinAnsiEncoding") return kWinAnsiEncoding;
    return kPDFDocEncoding;
}

// "/DescendantFonts [12 0 R]", or a reference to such an array: the body
// of the one descendant font's dictionary.
void ReadDescendantRef(TPdfDocument& doc, TFontRecord& font, const TDictEntry& entry) {
    const auto& tokens = entry.tokens;
    std::string objNum;
    if (tokens.size() >= 5 && tokens[1] == "[" && tokens[4] == "R") {
        objNum = tokens[2];
    } else if (tokens.size() >= 3 && tokens[1] == "[" && tokens[2] == "<<") {
        // A dictionary written into the array: it starts behind the "[".
        const TFilePos savedPos = doc.GetPos();
        doc.SetPos(entry.valuePos);
        if (doc.ReadToken() == "[") font.descendantPos = doc.GetPos();
        doc.SetPos(savedPos);
        return;
    } else if (!IsDirectValue(tokens)) {
        if (auto pos = ReferencedBodyPos(doc, tokens[1])) {
            const TFilePos savedPos = doc.GetPos();
            doc.SetPos(*pos);
            if (doc.ReadToken() == "[") {
                objNum = doc.ReadToken();
                doc.ReadToken();
                if (doc.ReadToken() != "R") objNum.clear();
            }
            doc.SetPos(savedPos);
        }
    }
    if (!objNum.empty()) font.descendantPos = ReferencedBodyPos(doc, objNum).value_or(0);
}

// A composite font's name, type and descriptor are its descendant's.
void ReadDescendant(TPdfDocument& doc, TFontRecord& font) {
    doc.SetPos(font.descendantPos);
    doc.ParseDict();
    for (const TDictEntry& entry : doc.dictEntries) {
        const auto& tokens = entry.tokens;
        if (tokens.size() < 2) continue;
        if (tokens[0] == "/Subtype") {
            font.cidSubtype = tokens[1];
        } else if (tokens[0] == "/BaseFont" && font.baseFont.empty()) {
            font.baseFont = tokens[1];
        } else if (tokens[0] == "/FontDescriptor" && !font.hasDescriptor) {
            if (IsDirectValue(tokens)) {
                font.descriptorPos = entry.valuePos;
                font.hasDescriptor = 1;
            } else if (auto pos = ReferencedBodyPos(doc, tokens[1])) {
                font.descriptorPos = *pos;
                font.hasDescriptor = 1;
            }
        }
    }
    doc.DiscardEntries();
}

void ReadFontEntry(TPdfDocument& doc, TFontRecord& font, const TDictEntry& entry) {
    const auto& tokens = entry.tokens;
    if (tokens.size() < 2) return;
    const std::string& key = tokens[0];
    if (key == "/Subtype") {
        font.isType3 = tokens[1] == "/Type3";
        font.subtype = tokens[1];
    } else if (key == "/BaseFont") {
        font.baseFont = tokens[1];
        // Early pdfTeX writes the name as an object of its own.
        if (!IsDirectValue(tokens)) {
            if (auto pos = ReferencedBodyPos(doc, tokens[1])) {
                const TFilePos savedPos = doc.GetPos();
                doc.SetPos(*pos);
                const std::string name = doc.ReadToken();
                doc.SetPos(savedPos);
                font.baseFont = name.rfind('/', 0) == 0 ? name : "";
            }
        }
    } else if (key == "/FirstChar") {
        if (auto first = TryStrToInt(tokens[1])) font.firstChar = *first;
    } else if (key == "/Widths") {
        ReadWidths(doc, font, tokens);
    } else if (key == "/FontDescriptor") {
        if (IsDirectValue(tokens)) {
            font.descriptorPos = entry.valuePos;
            font.hasDescriptor = 1;
        } else if (auto pos = ReferencedBodyPos(doc, tokens[1])) {
            font.descriptorPos = *pos;
            font.hasDescriptor = 1;
        }
    } else if (key == "/FontBBox" && tokens[1] == "[" && tokens.size() >= 6) {
        const auto llx = TryStrToFloat(FixDecimalPoint(tokens[2]));
        const auto lly = TryStrToFloat(FixDecimalPoint(tokens[3]));
        const auto urx = TryStrToFloat(FixDecimalPoint(tokens[4]));
        const auto ury = TryStrToFloat(FixDecimalPoint(tokens[5]));
        if (llx && lly && urx && ury) {
            font.bboxWidth = *urx - *llx;
            font.bboxHeight = *ury - *lly;
        }
    } else if (key == "/ToUnicode") {
        if (!IsDirectValue(tokens)) font.toUnicodeObj = TryStrToInt(tokens[1]).value_or(0);
    } else if (key == "/DescendantFonts") {
        ReadDescendantRef(doc, font, entry);
    } else if (key == "/Encoding") {
        font.encodingGiven = 1;
        if (!IsDirectValue(tokens)) font.encodingCMapObj = TryStrToInt(tokens[1]).value_or(0);
        if (IsDirectValue(tokens) && tokens[1] == "<<") {
            // A dictionary written in place is read as a referenced one is.
            font.encodingDictPos = entry.valuePos;
            font.hasEncodingDict = 1;
        } else if (IsDirectValue(tokens)) {
            font.encoding = EncodingFromName(tokens[1]);
            if (tokens[1].rfind('/', 0) == 0) font.encodingName = tokens[1];
        } else if (auto pos = ReferencedBodyPos(doc, tokens[1])) {
            // "/Encoding 9 0 R" may name an object that holds just a name.
            const TFilePos savedPos = doc.GetPos();
            doc.SetPos(*pos);
            const std::string first = doc.ReadToken();
            doc.SetPos(savedPos);
            if (first.size() > 1 && first[0] == '/') {
                font.encoding = EncodingFromName(first);
            } else {
                font.encodingDictPos = *pos;
                font.hasEncodingDict = 1;
            }
        }
    }
}

// "(/A/B/fi)": every name behind a slash, up to the next slash; a name the
// table lacks, or one without a WinAnsi code, stands as a space.
void FillCharSetCodes(TFontRecord& font) {
    const std::string names = StripParens(font.charSet);
    size_t stored = 0;
    size_t slash = names.find('/');
    while (slash != std::string::npos && stored < kSlots) {
        const size_t next = names.find('/', slash + 1);
        const std::string name = names.substr(slash + 1, next == std::string::npos ? std::string::npos : next - slash - 1);
        if (!name.empty()) font.EditCodes().charSetCodes[stored++] = WinAnsiCodeOf(name).value_or(32);
        slash = next;
    }
}

void ApplyDifferences(TFontRecord& font, const std::vector<std::string>& tokens) {
    // 64 bits: a file may count up from a code near the int32 limit.
    int64_t code = 0;
    for (size_t i = 2; i + 1 < tokens.size(); ++i) {
        const std::string& token = tokens[i];
        if (!token.empty() && token[0] == '/') {
            const auto winAnsi = WinAnsiCodeOf(token.substr(1));
            if (winAnsi && code >= 0 && code < static_cast<int64_t>(kSlots)) {
                TFontCodes& codes = font.EditCodes();
                codes.differences[static_cast<size_t>(code)] = *winAnsi;
                codes.differenceSet[static_cast<size_t>(code)] = 1;
            }
            ++code;
        } else if (auto value = TryStrToInt(token)) {
            code = *value;
        }
    }
}

}  // namespace

void TPdfDocument::CollectFonts() {
    for (int32_t i = 0; i < pageList.Count(); ++i) {
        TPageRecord& page = *pageList.Select(i);
        if (!page.hasFonts) continue;
        SetPos(page.fontDictPos);
        ParseDict();
        page.fontsFirstKeyPos = dictEntries.IsEmpty() ? -1 : dictEntries[0].keyPos;
        for (const TDictEntry& entry : dictEntries) {
            if (entry.tokens.empty()) continue;
            // A reference to an object the file lacks is PDF's null: no font,
            // as other readers see it. The writer copies the entry as it is.
            const std::optional<TFilePos> dictPos = IsDirectValue(entry.tokens)
                                                       ? std::optional<TFilePos>(entry.valuePos)
                                                       : ReferencedBodyPos(*this, entry.tokens[1]);
            if (!dictPos) continue;
            TFontRecord& font = *fontList.Append();
            font.pageIndex = i;
            font.encoding = kPDFDocEncoding;
            font.bboxWidth = font.bboxHeight = 1.0;
            font.resName = entry.tokens[0];
            font.fontDictPos = *dictPos;
        }
        DiscardEntries();
    }
    ui_.Progress({TProgressStep::FontsFound, fontList.Count()});
}

void TPdfDocument::ReadFontDicts() {
    for (int32_t i = 0; i < fontList.Count(); ++i) {
        TFontRecord& font = *fontList.Select(i);
        SetPos(font.fontDictPos);
        ParseDict();
        for (const TDictEntry& entry : dictEntries) ReadFontEntry(*this, font, entry);
        DiscardEntries();
        if (font.subtype != "/Type0") continue;
        // Its /Encoding names a CMap, never a /Differences dictionary.
        font.hasEncodingDict = 0;
        if (font.descendantPos > 0) ReadDescendant(*this, font);
    }
}

void TPdfDocument::ReadDescriptors() {
    for (int32_t i = 0; i < fontList.Count(); ++i) {
        TFontRecord& font = *fontList.Select(i);
        if (!font.hasDescriptor) continue;
        SetPos(font.descriptorPos);
        ParseDict();
        for (const TDictEntry& entry : dictEntries) {
            if (entry.tokens.size() < 2) continue;
            const std::string& key = entry.tokens[0];
            if (key == "/FontFile" || key == "/FontFile2" || key == "/FontFile3") {
                font.embedded = 1;
                font.fontFileKind = static_cast<uint8_t>(key == "/FontFile" ? 1 : key == "/FontFile2" ? 2 : 3);
                if (!IsDirectValue(entry.tokens)) font.fontFileObj = TryStrToInt(entry.tokens[1]).value_or(0);
            }
            if (key != "/CharSet") continue;
            font.hasCharSet = 1;
            font.charSet = entry.tokens[1];
            FillCharSetCodes(font);
        }
        DiscardEntries();
    }
}

void TPdfDocument::ReadEncodingDicts() {
    for (int32_t i = 0; i < fontList.Count(); ++i) {
        TFontRecord& font = *fontList.Select(i);
        if (!font.hasEncodingDict) continue;
        SetPos(font.encodingDictPos);
        ParseDict();
        for (const TDictEntry& entry : dictEntries) {
            const auto& tokens = entry.tokens;
            if (tokens.size() >= 4 && tokens[0] == "/Differences" && tokens[1] == "[") {
                ApplyDifferences(font, tokens);
                font.hasDifferences = 1;
            } else if (tokens.size() >= 2 && tokens[0] == "/BaseEncoding") {
                font.encodingName = tokens[1];
                // The codes /Differences leaves are the base encoding's.
                font.encoding = EncodingFromName(tokens[1]);
            }
        }
        DiscardEntries();
    }
}

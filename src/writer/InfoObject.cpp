#include "InfoObject.h"

#include <array>
#include <cstdio>
#include <ctime>
#include <optional>

#include "WriterParts_p.h"

namespace {

bool IsEditedKey(const std::string& key) {
    static const char* const kKeys[] = {"/Producer", "/Author",   "/Creator",      "/Title",
                                        "/Subject",  "/Keywords", "/CreationDate", "/ModDate"};
    for (const char* edited : kKeys)
        if (key == edited) return true;
    return false;
}

struct TInfoText {
    const char* key;
    const std::string& value;
};

// The texts in the order the dictionary is written.
std::array<TInfoText, 6> EditedTexts(const TInfoEdits& edits) {
    return {{{"/Producer", edits.producer},
             {"/Creator", edits.creator},
             {"/Author", edits.author},
             {"/Title", edits.title},
             {"/Subject", edits.subject},
             {"/Keywords", edits.keywords}}};
}

// The old dictionary's entry with this key and a value.
const TDictEntry* OldInfoEntry(const TPdfDocument& doc, const std::string& key) {
    return EntryWithKey(doc.infoEntries, key);
}

// An entry the user left as it was keeps its bytes, whichever of the ways
// to write the same text the producer chose.
bool KeptAsRead(const TDictEntry& old, const std::string& value) {
    return TextStringToUtf8(StringTokenBytes(old.tokens[1])) == value;
}

std::string TwoDigits(int32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

}  // namespace

std::string EscapeLiteralString(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        const auto ch = static_cast<uint8_t>(c);
        switch (ch) {
            case '\\': out += "\\\\"; break;
            case '(': out += "\\("; break;
            case ')': out += "\\)"; break;
            case 8: out += "\\b"; break;
            case 9: out += "\\t"; break;
            case 10: out += "\\n"; break;
            case 12: out += "\\f"; break;
            case 13: out += "\\r"; break;
            default:
                if (ch >= 32) {
                    out += c;
                } else {
                    out += '\\';
                    out += static_cast<char>('0' + ((ch >> 6) & 7));
                    out += static_cast<char>('0' + ((ch >> 3) & 7));
                    out += static_cast<char>('0' + (ch & 7));
                }
        }
    }
    return out;
}

int32_t LocalUtcOffsetMinutes(const TDateTimeValue& date, const TDateTimeValue& time) {
    std::tm local{};
    local.tm_year = date.year - 1900;
    local.tm_mon = date.month - 1;
    local.tm_mday = date.day;
    local.tm_hour = time.hour;
    local.tm_min = time.minute;
    local.tm_sec = time.second;
    local.tm_isdst = -1;  // let the zone rules decide whether summer time applies
    if (std::mktime(&local) == static_cast<std::time_t>(-1)) return 0;
    return static_cast<int32_t>(local.tm_gmtoff / 60);
}

std::string PdfDateText(const TDateTimeValue& date, const TDateTimeValue& time) {
    return PdfDateText(date, time, LocalUtcOffsetMinutes(date, time));
}

std::string PdfDateText(const TDateTimeValue& date, const TDateTimeValue& time, int32_t utcOffsetMinutes) {
    char year[16];
    std::snprintf(year, sizeof year, "%04d", date.year);
    std::string out = std::string("D:") + year + TwoDigits(date.month) + TwoDigits(date.day) +
                      TwoDigits(time.hour) + TwoDigits(time.minute) + TwoDigits(time.second);
    if (utcOffsetMinutes == 0) return out + "Z";
    const int32_t magnitude = utcOffsetMinutes < 0 ? -utcOffsetMinutes : utcOffsetMinutes;
    return out + (utcOffsetMinutes < 0 ? "-" : "+") + TwoDigits(magnitude / 60) + "'" + TwoDigits(magnitude % 60) +
           "'";
}

TInfoEdits UneditedInfo(const TDocumentInfo& info) {
    TInfoEdits edits;
    edits.producer = info.producer;
    edits.creator = info.creator;
    edits.author = info.author;
    edits.title = info.title;
    edits.subject = info.subject;
    edits.keywords = info.keywords;
    return edits;
}

bool WillWriteInfoObject(const TPdfDocument& doc, const TInfoEdits& edits) {
    if (doc.infoFound) return doc.infoEntriesValid;
    // A file without information gets some only when the user gave some.
    for (const TInfoText& text : EditedTexts(edits))
        if (!text.value.empty()) return true;
    return edits.creation || edits.modification;
}

std::string TextStringToken(const std::string& utf8) {
    const std::string bytes = Utf8ToTextString(utf8);
    if (bytes.size() < 2 || static_cast<uint8_t>(bytes[0]) != 0xFE || static_cast<uint8_t>(bytes[1]) != 0xFF)
        return "(" + EscapeLiteralString(bytes) + ")";
    static const char kDigits[] = "0123456789ABCDEF";
    std::string hex = "<";
    for (const char c : bytes) {
        hex += kDigits[static_cast<uint8_t>(c) >> 4];
        hex += kDigits[static_cast<uint8_t>(c) & 15];
    }
    return hex + ">";
}

std::string ModDateText(const TInfoEdits& edits) {
    if (edits.modification) return PdfDateText(edits.modification->date, edits.modification->time);
    const TDateTimeValue now = NowLocal();
    return PdfDateText(now, now);
}

TWrittenInfo WrittenInfo(const TPdfDocument& doc, const TInfoEdits& edits, const std::string& modDate) {
    TWrittenInfo info;
    const std::array<TInfoText, 6> texts = EditedTexts(edits);
    TWrittenInfo::TText* const written[] = {&info.producer, &info.creator, &info.author,
                                            &info.title,    &info.subject, &info.keywords};
    for (size_t i = 0; i < texts.size(); ++i) {
        const TInfoText& text = texts[i];
        const TDictEntry* old = OldInfoEntry(doc, text.key);
        written[i]->value = text.value;
        written[i]->hadKey = old != nullptr;
        written[i]->written = !text.value.empty() || (old && KeptAsRead(*old, text.value));
    }
    if (edits.creation) info.creationDate = PdfDateText(edits.creation->date, edits.creation->time);
    else if (const TDictEntry* old = OldInfoEntry(doc, "/CreationDate")) info.creationDate = StringTokenBytes(old->tokens[1]);
    info.modDate = modDate;
    return info;
}

std::string InfoObjectText(TPdfDocument& doc, const TInfoEdits& edits, int32_t objNum, int32_t gen) {
    return InfoObjectText(doc, edits, objNum, gen, ModDateText(edits));
}

std::string InfoObjectText(TPdfDocument& doc, const TInfoEdits& edits, int32_t objNum, int32_t gen,
                           const std::string& modDate) {
    std::string out = std::to_string(objNum) + " " + std::to_string(gen) + " obj\r<<\r";
    auto writeAsRead = [&doc, &out](const TDictEntry& entry) {
        const std::vector<std::string> tokens = WrittenTokens(doc, entry);
        for (size_t i = 0; i < tokens.size(); ++i) {
            if (i > 0) out += ' ';
            out += tokens[i];
        }
        out += '\r';
    };
    for (const TDictEntry& entry : doc.infoEntries)
        if (!entry.tokens.empty() && !IsEditedKey(entry.tokens[0])) writeAsRead(entry);
    for (const TInfoText& text : EditedTexts(edits)) {
        const TDictEntry* old = OldInfoEntry(doc, text.key);
        if (old && KeptAsRead(*old, text.value)) writeAsRead(*old);
        else if (!text.value.empty()) out += std::string(text.key) + " " + TextStringToken(text.value) + "\r";
    }
    if (edits.creation) {
        out += "/CreationDate (" + PdfDateText(edits.creation->date, edits.creation->time) + ")\r";
    } else if (const TDictEntry* old = OldInfoEntry(doc, "/CreationDate")) {
        writeAsRead(*old);
    }
    out += "/ModDate (" + modDate + ")\r";
    out += ">>\rendobj\r";
    return out;
}

#include "InfoObject.h"

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

bool WillWriteInfoObject(const TPdfDocument& doc) {
    if (doc.infoFound) return doc.infoEntriesValid;
    // A file without information gets some only when the user gave some.
    for (const std::string* text : {&doc.Edit1, &doc.Edit2, &doc.Edit3, &doc.Edit4, &doc.Edit5, &doc.Edit6})
        if (!text->empty()) return true;
    return doc.creationDateEdited || doc.modDateEdited;
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

std::string ModDateText(const TPdfDocument& doc) {
    if (doc.modDateEdited) return PdfDateText(doc.DateTimePicker3, doc.DateTimePicker4);
    const TDateTimeValue now = NowLocal();
    return PdfDateText(now, now);
}

TWrittenInfo WrittenInfo(TPdfDocument& doc, const std::string& modDate) {
    TWrittenInfo info;
    const std::pair<TWrittenInfo::TText*, TInfoText> texts[] = {
        {&info.producer, {"/Producer", doc.Edit1}}, {&info.creator, {"/Creator", doc.Edit2}},
        {&info.author, {"/Author", doc.Edit3}},     {&info.title, {"/Title", doc.Edit4}},
        {&info.subject, {"/Subject", doc.Edit5}},   {&info.keywords, {"/Keywords", doc.Edit6}}};
    for (const auto& [written, text] : texts) {
        const TDictEntry* old = OldInfoEntry(doc, text.key);
        written->value = text.value;
        written->hadKey = old != nullptr;
        written->written = !text.value.empty() || (old && KeptAsRead(*old, text.value));
    }
    if (doc.creationDateEdited) info.creationDate = PdfDateText(doc.DateTimePicker1, doc.DateTimePicker2);
    else if (const TDictEntry* old = OldInfoEntry(doc, "/CreationDate")) info.creationDate = StringTokenBytes(old->tokens[1]);
    info.modDate = modDate;
    return info;
}

std::string InfoObjectText(TPdfDocument& doc, int32_t objNum, int32_t gen) {
    return InfoObjectText(doc, objNum, gen, ModDateText(doc));
}

std::string InfoObjectText(TPdfDocument& doc, int32_t objNum, int32_t gen, const std::string& modDate) {
    const TInfoText texts[] = {{"/Producer", doc.Edit1}, {"/Creator", doc.Edit2}, {"/Author", doc.Edit3},
                               {"/Title", doc.Edit4},    {"/Subject", doc.Edit5}, {"/Keywords", doc.Edit6}};
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
    for (const TInfoText& text : texts) {
        const TDictEntry* old = OldInfoEntry(doc, text.key);
        if (old && KeptAsRead(*old, text.value)) writeAsRead(*old);
        else if (!text.value.empty()) out += std::string(text.key) + " " + TextStringToken(text.value) + "\r";
    }
    if (doc.creationDateEdited) {
        out += "/CreationDate (" + PdfDateText(doc.DateTimePicker1, doc.DateTimePicker2) + ")\r";
    } else if (const TDictEntry* old = OldInfoEntry(doc, "/CreationDate")) {
        writeAsRead(*old);
    }
    out += "/ModDate (" + modDate + ")\r";
    out += ">>\rendobj\r";
    return out;
}

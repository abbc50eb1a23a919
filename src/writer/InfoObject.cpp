#include "InfoObject.h"

#include <cstdio>
#include <ctime>

#include "WriterParts_p.h"

namespace {

bool IsEditedKey(const std::string& key) {
    static const char* const kKeys[] = {"/Producer", "/Author",   "/Creator",      "/Title",
                                        "/Subject",  "/Keywords", "/CreationDate", "/ModDate"};
    for (const char* edited : kKeys)
        if (key == edited) return true;
    return false;
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

bool WillWriteInfoObject(const TPdfDocument& doc) { return doc.infoFound && doc.infoEntriesValid; }

std::string InfoObjectText(TPdfDocument& doc, int32_t objNum, int32_t gen) {
    std::string out = std::to_string(objNum) + " " + std::to_string(gen) + " obj\r<<\r";
    for (const TDictEntry& entry : doc.infoEntries) {
        if (entry.tokens.empty() || IsEditedKey(entry.tokens[0])) continue;
        const std::vector<std::string> tokens = WrittenTokens(doc, entry);
        for (size_t i = 0; i < tokens.size(); ++i) {
            if (i > 0) out += ' ';
            out += tokens[i];
        }
        out += '\r';
    }
    out += "/Producer (" + EscapeLiteralString(doc.Edit1) + ")\r";
    out += "/Creator (" + EscapeLiteralString(doc.Edit2) + ")\r";
    out += "/Author (" + EscapeLiteralString(doc.Edit3) + ")\r";
    out += "/Title (" + EscapeLiteralString(doc.Edit4) + ")\r";
    out += "/Subject (" + EscapeLiteralString(doc.Edit5) + ")\r";
    out += "/Keywords (" + EscapeLiteralString(doc.Edit6) + ")\r";
    out += "/CreationDate (" + PdfDateText(doc.DateTimePicker1, doc.DateTimePicker2) + ")\r";
    out += "/ModDate (" + PdfDateText(doc.DateTimePicker3, doc.DateTimePicker4) + ")\r";
    out += ">>\rendobj\r";
    return out;
}

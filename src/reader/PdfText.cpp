#include "PdfText.h"

#include <charconv>
#include <cmath>
#include <cstring>

std::string StripParens(const std::string& s) {
    if (s.size() > 1 && s[0] == '(') return s.substr(1, s.size() - 2);
    return s;
}

std::string Unescape(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    int state = 0;
    int value = 0;
    for (char c : s) {
        const bool octal = c >= '0' && c <= '7';
        switch (state) {
            case 0:
                if (c == '\\') state = 1;
                else out += c;
                break;
            case 1:
                state = 0;
                switch (c) {
                    case '\\': out += '\\'; break;
                    case '(': out += '('; break;
                    case ')': out += ')'; break;
                    case 'n': out += '\n'; break;
                    case 'r': out += '\r'; break;
                    case 't': out += '\t'; break;
                    case 'b': out += '\b'; break;
                    case 'f': out += '\f'; break;
                    default:
                        if (octal) {
                            value = (c - '0') * 64;
                            state = 2;
                        }
                        break;  // any other character is dropped with the backslash
                }
                break;
            case 2:
                if (octal) {
                    value += (c - '0') * 8;
                    state = 3;
                } else {
                    state = 0;  // a short escape is lost with the character ending it
                }
                break;
            case 3:
                if (octal) out += static_cast<char>((value + (c - '0')) % 256);
                state = 0;
                break;
        }
    }
    return out;
}

std::string FixDecimalPoint(const std::string& s) { return s; }

std::string NextWord(std::string& s) {
    const auto space = s.find(' ');
    if (space == std::string::npos) {
        std::string word;
        word.swap(s);
        return word;
    }
    std::string word = s.substr(0, space);
    s.erase(0, space + 1);
    return word;
}

std::optional<int32_t> TryStrToInt(const std::string& s) {
    const char* first = s.data();
    const char* last = s.data() + s.size();
    if (first != last && *first == '+') ++first;
    if (first == last) return std::nullopt;
    int32_t value = 0;
    auto [ptr, ec] = std::from_chars(first, last, value, 10);
    if (ec != std::errc() || ptr != last) return std::nullopt;
    return value;
}

std::optional<int64_t> TryStrToPos(const std::string& s) {
    const char* first = s.data();
    const char* last = s.data() + s.size();
    if (first != last && *first == '+') ++first;
    if (first == last) return std::nullopt;
    int64_t value = 0;
    auto [ptr, ec] = std::from_chars(first, last, value, 10);
    if (ec != std::errc() || ptr != last) return std::nullopt;
    return value;
}

std::optional<double> TryStrToFloat(const std::string& s) {
    const char* first = s.data();
    const char* last = s.data() + s.size();
    bool negative = false;
    if (first != last && (*first == '+' || *first == '-')) {
        negative = *first == '-';
        ++first;
    }
    // from_chars would also take "inf" and "nan"; PDF numbers never are.
    if (first == last || !((*first >= '0' && *first <= '9') || *first == '.')) return std::nullopt;
    double value = 0;
    auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // Underflow to zero is harmless; overflow is not a number we can use.
        if (std::fabs(value) < 1.0) value = 0;
        else return std::nullopt;
    } else if (ec != std::errc()) {
        return std::nullopt;
    }
    if (ptr != last || !std::isfinite(value)) return std::nullopt;
    return negative ? -value : value;
}

namespace {

// Unicode values of 0x80..0x9F in Windows-1252; 0 where the code is unassigned.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178,
};


}  // namespace

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

char32_t Cp1252ToUnicode(uint8_t ch) {
    if (ch >= 0x80 && ch < 0xA0) return kCp1252High[ch - 0x80];
    return ch;
}

std::string Cp1252ToUtf8(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (unsigned char ch : s) {
        char32_t cp = Cp1252ToUnicode(ch);
        // The five unassigned codes pass as the C1 controls of the same value.
        AppendUtf8(out, cp != 0 || ch == 0 ? cp : ch);
    }
    return out;
}

namespace {

// UTF-8 to code points; a malformed sequence gives one U+FFFD per byte.
std::u32string CodePoints(const std::string& s) {
    std::u32string out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        const auto lead = static_cast<unsigned char>(s[i]);
        char32_t cp;
        size_t len;
        if (lead < 0x80) { cp = lead; len = 1; }
        else if ((lead & 0xE0) == 0xC0) { cp = lead & 0x1F; len = 2; }
        else if ((lead & 0xF0) == 0xE0) { cp = lead & 0x0F; len = 3; }
        else if ((lead & 0xF8) == 0xF0) { cp = lead & 0x07; len = 4; }
        else { out += U'\uFFFD'; ++i; continue; }
        if (i + len > s.size()) { out += U'\uFFFD'; break; }
        bool valid = true;
        for (size_t k = 1; k < len; ++k) {
            const auto cont = static_cast<unsigned char>(s[i + k]);
            if ((cont & 0xC0) != 0x80) { valid = false; break; }
            cp = (cp << 6) | (cont & 0x3F);
        }
        i += valid ? len : 1;
        out += valid ? cp : U'\uFFFD';
    }
    return out;
}

// PDFDocEncoding where it differs from Latin-1: 0x18..0x1F and 0x80..0xA0;
// 0 marks a code without a character.
constexpr char32_t kPdfDocLow[8] = {0x02D8, 0x02C7, 0x02C6, 0x02D9, 0x02DD, 0x02DB, 0x02DA, 0x02DC};
constexpr char32_t kPdfDocHigh[33] = {
    0x2022, 0x2020, 0x2021, 0x2026, 0x2014, 0x2013, 0x0192, 0x2044, 0x2039, 0x203A, 0x2212,
    0x2030, 0x201E, 0x201C, 0x201D, 0x2018, 0x2019, 0x201A, 0x2122, 0xFB01, 0xFB02, 0x0141,
    0x0152, 0x0160, 0x0178, 0x017D, 0x0131, 0x0142, 0x0153, 0x0161, 0x017E, 0,      0x20AC};

char32_t PdfDocToUnicode(uint8_t ch) {
    if (ch >= 0x18 && ch <= 0x1F) return kPdfDocLow[ch - 0x18];
    if (ch >= 0x80 && ch <= 0xA0) return kPdfDocHigh[ch - 0x80];
    if (ch == 0x7F || ch == 0xAD) return 0;
    if (ch < 0x18 && ch != 0x09 && ch != 0x0A && ch != 0x0D) return 0;
    return ch;
}

}  // namespace

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string HexBytes(std::string_view digits, bool oddLastDigit) {
    std::string out;
    int high = -1;
    for (const char ch : digits) {
        const int v = HexDigitValue(ch);
        if (v < 0) continue;  // white space between the digits
        if (high < 0) {
            high = v;
        } else {
            out += static_cast<char>(high * 16 + v);
            high = -1;
        }
    }
    if (high >= 0 && oddLastDigit) out += static_cast<char>(high * 16);
    return out;
}

std::string Utf8ToCp1252(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (const char32_t cp : CodePoints(s)) {
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) { out += static_cast<char>(cp); continue; }
        char mapped = '?';
        for (int k = 0; k < 32; ++k) {
            if (kCp1252High[k] == cp || (kCp1252High[k] == 0 && cp == static_cast<char32_t>(0x80 + k))) {
                mapped = static_cast<char>(0x80 + k);
                break;
            }
        }
        out += mapped;
    }
    return out;
}

std::string StringTokenBytes(const std::string& token) {
    if (token.size() >= 2 && token.front() == '<' && token[1] != '<') {
        const std::string_view digits(token);
        return HexBytes(digits.substr(1, digits.find('>', 1) - 1));
    }
    return StripParens(Unescape(token));
}

std::string TextStringToUtf8(const std::string& bytes) {
    std::string out;
    if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFE && static_cast<uint8_t>(bytes[1]) == 0xFF) {
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            char32_t unit = (static_cast<uint8_t>(bytes[i]) << 8) | static_cast<uint8_t>(bytes[i + 1]);
            if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
                const char32_t low = (static_cast<uint8_t>(bytes[i + 2]) << 8) | static_cast<uint8_t>(bytes[i + 3]);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                    i += 2;
                }
            }
            AppendUtf8(out, unit >= 0xD800 && unit <= 0xDFFF ? U'\uFFFD' : unit);
        }
        return out;
    }
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return bytes.substr(3);
    for (const unsigned char ch : bytes) {
        const char32_t cp = PdfDocToUnicode(ch);
        AppendUtf8(out, cp != 0 ? cp : U'\uFFFD');
    }
    return out;
}

std::string Utf8ToTextString(const std::string& utf8) {
    const std::u32string text = CodePoints(utf8);
    std::string doc;
    doc.reserve(text.size());
    for (const char32_t cp : text) {
        int code = -1;
        if (cp < 0x100 && PdfDocToUnicode(static_cast<uint8_t>(cp)) == cp) code = static_cast<int>(cp);
        for (int k = 0; code < 0 && k < 8; ++k)
            if (kPdfDocLow[k] == cp) code = 0x18 + k;
        for (int k = 0; code < 0 && k < 33; ++k)
            if (kPdfDocHigh[k] == cp && cp != 0) code = 0x80 + k;
        if (code < 0) {
            std::string wide = "\xFE\xFF";
            for (char32_t c : text) {
                auto unit = [&wide](char32_t u) {
                    wide += static_cast<char>(u >> 8);
                    wide += static_cast<char>(u & 0xFF);
                };
                if (c >= 0x10000) {
                    unit(0xD800 + ((c - 0x10000) >> 10));
                    unit(0xDC00 + ((c - 0x10000) & 0x3FF));
                } else {
                    unit(c);
                }
            }
            return wide;
        }
        doc += static_cast<char>(code);
    }
    return doc;
}

int64_t RoundHalfEven(double v) { return static_cast<int64_t>(std::nearbyint(v)); }

#include "CryptObjects.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "PdfText.h"

namespace {

bool IsBlankByte(uint8_t ch) { return IsPdfWhiteSpace(ch); }
bool IsLineEndByte(uint8_t ch) { return ch == 13 || ch == 10; }

// Whether "endstream" follows at pos, after blanks.
bool EndstreamAt(const TByteSpan& span, TFilePos pos) {
    while (span.Holds(pos) && IsBlankByte(span[pos])) ++pos;
    return span.View(pos, 9) == "endstream";
}

std::string HexText(const std::vector<uint8_t>& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 2 + 2);
    out += '<';
    for (const uint8_t b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    out += '>';
    return out;
}

std::optional<int64_t> IntToken(const TToken& token) {
    if (token.kind != TTokenKind::Integer) return std::nullopt;
    return TryStrToPos(std::string(token.text));
}

// What the walk over an object's body found.
struct TBodyScan {
    std::vector<std::pair<TFilePos, TFilePos>> strings;  // [start, end) of every string token
    TFilePos dictOpenEnd = -1;                           // behind the top dictionary's "<<"
    TFilePos lengthStart = -1, lengthEnd = -1;           // the /Length value
    std::optional<TFilePos> length;
    std::optional<int32_t> lengthRef;
    std::string type;
    TFilePos keywordPos = -1;  // "stream" or "endobj"
    bool stream = false;
};

// Walks the tokens behind "obj" up to "stream" or "endobj"; false for
// anything else (the end of the data, another object's "obj").
bool ScanBody(TLexer& lexer, TBodyScan& scan) {
    int depth = 0;
    bool expectKey = true;
    std::string key;
    bool first = true;
    // Past the end the lexer reads filler bytes without end; the end of
    // the data ends the walk.
    while (!lexer.AtEnd()) {
        const TFilePos start = lexer.Pos();
        const TToken token = lexer.Next();
        const TFilePos end = start + static_cast<TFilePos>(token.text.size());
        const bool topValue = depth == 1 && scan.dictOpenEnd >= 0 && !expectKey;
        switch (token.kind) {
            case TTokenKind::End:
            case TTokenKind::Error:
                return false;
            case TTokenKind::DictOpen:
                if (first) scan.dictOpenEnd = end;
                ++depth;
                break;
            case TTokenKind::ArrayOpen:
                ++depth;
                break;
            case TTokenKind::DictClose:
            case TTokenKind::ArrayClose:
                --depth;
                if (depth == 1) expectKey = true;
                break;
            case TTokenKind::LiteralString:
            case TTokenKind::HexString:
                scan.strings.emplace_back(start, end);
                break;
            case TTokenKind::Keyword:
                if (token.text == "endobj" || (token.text == "stream" && depth <= 0)) {
                    scan.keywordPos = start;
                    scan.stream = token.text == "stream";
                    return true;
                }
                if (token.text == "obj") return false;
                break;
            default:
                break;
        }
        first = false;
        if (depth == 1 && scan.dictOpenEnd >= 0 && expectKey && token.kind == TTokenKind::Name) {
            key = token.text;
            expectKey = false;
            continue;
        }
        if (!topValue || token.kind == TTokenKind::DictOpen || token.kind == TTokenKind::ArrayOpen) continue;
        expectKey = true;
        if (key == "/Type" && token.kind == TTokenKind::Name) scan.type = token.text;
        if (key != "/Length") continue;
        scan.lengthStart = start;
        scan.lengthEnd = end;
        const auto value = IntToken(token);
        // "n g R": a reference.
        TLexer ahead = lexer;
        if (value && ahead.Next().kind == TTokenKind::Integer) {
            const TFilePos rPos = ahead.Pos();
            if (ahead.Next().text == "R") {
                scan.lengthRef = static_cast<int32_t>(std::clamp<int64_t>(*value, -1, INT32_MAX));
                scan.lengthEnd = rPos + 1;
                lexer = ahead;
                continue;
            }
        }
        if (value) scan.length = *value;
    }
    return false;
}

TCryptMethod StreamMethod(const TEncryptParams& params, const std::string& type) {
    if (type == "/EmbeddedFile") return params.fileMethod;
    if (type == "/Metadata" && !params.encryptMetadata) return TCryptMethod::None;
    return params.streamMethod;
}

std::vector<uint8_t> Cipher(const TSecurityHandler& handler, TCryptDirection direction, TCryptMethod method,
                            std::span<const uint8_t> data, int32_t num, int32_t gen) {
    return direction == TCryptDirection::Decrypt ? handler.Decrypt(method, data, num, gen)
                                                 : handler.Encrypt(method, data, num, gen);
}

}  // namespace

std::optional<TStreamExtent> StreamExtentAt(const TByteSpan& span, TFilePos keywordPos, TFilePos length) {
    if (span.View(keywordPos, 6) != "stream") return std::nullopt;
    TFilePos strict = keywordPos + 6;
    while (span.Holds(strict) && span[strict] == ' ') ++strict;
    if (span.Holds(strict) && span[strict] == 13) ++strict;
    if (span.Holds(strict) && span[strict] == 10) ++strict;
    TFilePos start = strict;
    if (!(length > 0 && EndstreamAt(span, strict + length))) {
        while (span.Holds(start) && IsBlankByte(span[start])) ++start;
    }
    TFilePos count = length;
    if (!(length >= 0 && EndstreamAt(span, start + length)) && start <= span.end) {
        const std::string_view rest = span.View(start, span.end - start);
        const size_t end = rest.find("endstream");
        if (end != std::string_view::npos) {
            TFilePos trimmed = start + static_cast<TFilePos>(end);
            while (trimmed > start && IsLineEndByte(span[trimmed - 1])) --trimmed;
            count = trimmed - start;
        }
    }
    const TFilePos available = std::max<TFilePos>(0, span.end - start);
    return TStreamExtent{start, std::clamp<TFilePos>(count, 0, available)};
}

std::optional<TFilePos> CryptObject(const TByteSpan& span, TFilePos pos, const TSecurityHandler& handler,
                                    TCryptDirection direction, const TLengthLookup& lookup, std::string& text) {
    TLexer lexer = span.LexerAt(pos);
    lexer.SkipBlanksAndComments();
    const auto num = IntToken(lexer.Next());
    const auto gen = IntToken(lexer.Next());
    if (!num || !gen || *num < 0 || *num > INT32_MAX || *gen < 0 || *gen > 65535) return std::nullopt;
    if (lexer.Next().text != "obj") return std::nullopt;
    const TFilePos bodyStart = lexer.Pos();
    TBodyScan scan;
    if (!ScanBody(lexer, scan)) return std::nullopt;
    if (scan.type == "/XRef") return std::nullopt;
    const auto objNum = static_cast<int32_t>(*num);
    const auto objGen = static_cast<int32_t>(*gen);
    const TEncryptParams& params = handler.Params();

    std::vector<uint8_t> data;
    std::span<const uint8_t> streamData;
    // Deciphered stream data go straight into `text`, behind a /Length
    // written as blanks and filled in afterwards: the reader's pass over a
    // whole file copies every stream once, not twice.
    const bool inPlace = direction == TCryptDirection::Decrypt;
    TFilePos end = 0;
    if (scan.stream) {
        TFilePos length = scan.length.value_or(-1);
        if (scan.lengthRef && lookup) length = lookup(*scan.lengthRef).value_or(-1);
        const auto extent = StreamExtentAt(span, scan.keywordPos, length);
        if (!extent) return std::nullopt;
        const uint8_t* first = span.data + (extent->start - span.begin);
        streamData = {first, static_cast<size_t>(extent->count)};
        if (!inPlace) data = Cipher(handler, direction, StreamMethod(params, scan.type), streamData, objNum, objGen);
        TLexer after = span.LexerAt(extent->start + extent->count);
        after.SkipBlanksAndComments();
        if (after.Next().text != "endstream") return std::nullopt;
        const TFilePos endobjPos = after.Pos();
        end = after.Next().text == "endobj" ? endobjPos + 6 : endobjPos;
    } else {
        end = scan.keywordPos + 6;
    }

    // Room at once for the whole object; a long output (the reader's
    // extension) still grows by doubling.
    const size_t needed =
        static_cast<size_t>(scan.keywordPos - bodyStart) + (inPlace ? streamData.size() : data.size()) + 96;
    if (text.capacity() - text.size() < needed) text.reserve(std::max(text.size() + needed, text.capacity() * 2));
    text += std::to_string(objNum) + " " + std::to_string(objGen) + " obj\n";
    const std::string lengthText = inPlace ? std::string(20, ' ') : std::to_string(data.size());
    size_t lengthAt = std::string::npos;
    TFilePos copied = bodyStart;
    auto copyTo = [&](TFilePos to) {
        if (to > copied) text += span.View(copied, to - copied);
        copied = std::max(copied, to);
    };
    size_t nextString = 0;
    const TCryptMethod stringMethod = params.stringMethod;
    auto emitStringsBefore = [&](TFilePos limit) {
        for (; nextString < scan.strings.size() && scan.strings[nextString].first < limit; ++nextString) {
            const auto [start, stop] = scan.strings[nextString];
            if (start < copied) continue;
            copyTo(start);
            if (stringMethod != TCryptMethod::None) {
                const std::string raw = StringTokenBytes(std::string(span.View(start, stop - start)));
                const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(raw.data()), raw.size());
                text += HexText(Cipher(handler, direction, stringMethod, bytes, objNum, objGen));
                copied = stop;
            }
        }
    };
    if (scan.stream && scan.lengthStart < 0 && scan.dictOpenEnd >= 0) {
        copyTo(scan.dictOpenEnd);
        text += " /Length ";
        lengthAt = text.size();
        text += lengthText + " ";
    }
    if (scan.stream && scan.lengthStart >= 0) {
        emitStringsBefore(scan.lengthStart);
        copyTo(scan.lengthStart);
        lengthAt = text.size();
        text += lengthText;
        copied = scan.lengthEnd;
    }
    emitStringsBefore(scan.keywordPos);
    copyTo(scan.keywordPos);
    if (scan.stream) {
        text += "stream\n";
        if (inPlace) {
            const size_t dataAt = text.size();
            handler.DecryptAppend(StreamMethod(params, scan.type), streamData, objNum, objGen, text);
            const std::string size = std::to_string(text.size() - dataAt);
            if (lengthAt != std::string::npos) text.replace(lengthAt, size.size(), size);
        } else {
            text.append(reinterpret_cast<const char*>(data.data()), data.size());
        }
        text += "\nendstream\n";
    }
    text += "endobj";
    return end;
}

std::optional<TFilePos> DictEnd(const TByteSpan& span, TFilePos pos) {
    TLexer lexer = span.LexerAt(pos);
    int depth = 0;
    while (!lexer.AtEnd()) {
        const TToken token = lexer.Next();
        switch (token.kind) {
            case TTokenKind::End:
            case TTokenKind::Error: return std::nullopt;
            case TTokenKind::DictOpen: ++depth; break;
            case TTokenKind::DictClose:
                if (--depth <= 0) {
                    // The lexer stands behind ">>" and its blanks; ">>" itself
                    // ends two bytes behind its start.
                    TFilePos back = lexer.Pos();
                    while (back > pos && span.View(back - 2, 2) != ">>") --back;
                    return back;
                }
                break;
            default: break;
        }
    }
    return std::nullopt;
}

#include "EncryptingSink.h"

#include "CryptObjects.h"
#include "PdfText.h"

namespace {

// The number of "N G obj" at pos.
std::optional<int64_t> HeaderNumber(const TByteSpan& span, TFilePos pos) {
    TLexer lexer = span.LexerAt(pos);
    const TToken num = lexer.Next();
    if (num.kind != TTokenKind::Integer) return std::nullopt;
    return TryStrToPos(std::string(num.text));
}

}  // namespace

void TEncryptingSink::Write(const void* data, size_t size) {
    if (security_ == nullptr) {
        out_.Write(data, size);
        return;
    }
    pending_.append(static_cast<const char*>(data), size);
}

int64_t TEncryptingSink::Position() const {
    Flush();
    return out_.Position();
}

void TEncryptingSink::Flush() const {
    if (pending_.empty()) return;
    const TByteSpan span{reinterpret_cast<const uint8_t*>(pending_.data()), 0,
                         static_cast<TFilePos>(pending_.size())};
    TFilePos pos = 0;
    while (pos < span.end) {
        TFilePos start = pos;
        while (start < span.end && IsPdfWhiteSpace(span[start])) ++start;
        out_.Write(pending_.data() + pos, static_cast<size_t>(start - pos));
        pos = start;
        if (pos >= span.end) break;
        // The header, comments, an object that cannot be parsed, and the
        // /Encrypt dictionary go out as they are.
        const bool digit = span[pos] >= '0' && span[pos] <= '9';
        const auto num = digit ? HeaderNumber(span, pos) : std::nullopt;
        std::string text;
        const auto end = num && *num != plainObjNum_
                             ? CryptObject(span, pos, *security_, TCryptDirection::Encrypt, {}, text)
                             : std::nullopt;
        if (!end) {
            out_.Write(pending_.data() + pos, pending_.size() - static_cast<size_t>(pos));
            break;
        }
        out_.Write(text);
        pos = *end;
    }
    pending_.clear();
}

// An encrypted file: its /Encrypt dictionary, the password, and the one
// pass that deciphers every object into the extension, so that everything
// that reads objects reads them plain. Cross-reference streams and the
// /Encrypt dictionary are not enciphered and stay where they are.
#include <variant>

#include "CryptObjects.h"
#include "EncryptDict.h"
#include "PdfFile.h"
#include "PdfText.h"

namespace {

bool IsStringToken(const std::string& token) {
    return !token.empty() && (token[0] == '(' || (token[0] == '<' && token.rfind("<<", 0) != 0));
}

// The integer of a plain "N G obj  value" at pos.
std::optional<TFilePos> IntegerObjectAt(const TByteSpan& span, TFilePos pos) {
    TLexer lexer = span.LexerAt(pos);
    lexer.Next();
    lexer.Next();
    if (lexer.Next().text != "obj") return std::nullopt;
    const TToken value = lexer.Next();
    if (value.kind != TTokenKind::Integer) return std::nullopt;
    return TryStrToPos(std::string(value.text));
}

// The number of "N G obj" at pos.
std::optional<int64_t> HeaderNumber(const TByteSpan& span, TFilePos pos) {
    TLexer lexer = span.LexerAt(pos);
    lexer.SkipBlanksAndComments();
    const TToken num = lexer.Next();
    if (num.kind != TTokenKind::Integer) return std::nullopt;
    return TryStrToPos(std::string(num.text));
}

}  // namespace

void TPdfFile::TakeEncryptKeys(const TDictEntry& entry) {
    const auto& tokens = entry.tokens;
    if (tokens[0] == "/ID") {
        if (!fileId_[0].empty() || !fileId_[1].empty()) return;
        int taken = 0;
        for (size_t i = 1; i < tokens.size() && taken < 2; ++i)
            if (IsStringToken(tokens[i])) fileId_[taken++] = StringTokenBytes(tokens[i]);
        return;
    }
    if (encrypted) return;
    encrypted = 1;
    if (tokens.size() >= 4 && tokens[3] == "R") {
        encryptObjNum = TryStrToInt(tokens[1]).value_or(-1);
        encryptGen = TryStrToInt(tokens[2]).value_or(0);
        encryptIsObject_ = true;
    } else if (tokens[1] == "<<") {
        encryptDictPos_ = entry.valuePos;
    }
}

TPermissions TPdfFile::Permissions() const {
    return security_ ? security_->Permissions() : TPermissions::All();
}

void TPdfFile::OpenEncryption() {
    cryptState_ = TCryptState::Unsupported;
    TFilePos pos = encryptDictPos_;
    if (encryptIsObject_) {
        const auto objPos = ObjectPos(encryptObjNum);
        if (!objPos) return;
        TLexer lexer = SpanAt(*objPos).LexerAt(*objPos);
        lexer.SkipBlanksAndComments();
        lexer.Next();
        lexer.Next();
        if (lexer.Next().text != "obj") return;
        pos = lexer.Pos();
    }
    if (pos < 0) return;
    const TByteSpan span = SpanAt(pos);
    const auto end = DictEnd(span, pos);
    if (!end) return;
    encryptDictText_ = span.View(pos, *end - pos);
    const auto parsed = ParseEncryptDict(span.data, span.end - span.begin, pos - span.begin, fileId_[0]);
    const auto* params = std::get_if<TEncryptParams>(&parsed);
    if (params == nullptr) return;
    security_ = TSecurityHandler::Open(*params, password_);
    if (!security_) {
        cryptState_ = password_.empty() ? TCryptState::PasswordNeeded : TCryptState::WrongPassword;
        return;
    }
    cryptState_ = TCryptState::Opened;
    DecipherObjects();
}

void TPdfFile::DecipherObjects() {
    const TFilePos base = SourceSize() + kSpanGap;
    // Indirect lengths are read where the file has them, before any entry
    // points into the extension.
    std::vector<TFilePos> original(static_cast<size_t>(objCount), -1);
    for (int32_t num = 0; num < objCount; ++num) {
        const TObjEntry& entry = objTable[static_cast<size_t>(num)];
        if (entry.kind == TObjKind::AtOffset && entry.inUse) original[static_cast<size_t>(num)] = entry.offset;
    }
    const TLengthLookup lookup = [this, &original](int32_t num) -> std::optional<TFilePos> {
        if (num < 0 || num >= static_cast<int32_t>(original.size()) || original[static_cast<size_t>(num)] < 0)
            return std::nullopt;
        const TFilePos at = original[static_cast<size_t>(num)];
        return IntegerObjectAt(SpanAt(at), at);
    };
    std::string extension;
    extension.reserve(static_cast<size_t>(SourceSize() + SourceSize() / 8));
    for (int32_t num = 1; num < objCount; ++num) {
        TObjEntry& entry = objTable[static_cast<size_t>(num)];
        if (entry.kind != TObjKind::AtOffset || !entry.inUse || entry.structural) continue;
        if (encryptIsObject_ && num == encryptObjNum) continue;
        const TByteSpan span = SpanAt(entry.offset);
        if (HeaderNumber(span, entry.offset) != num) continue;
        const auto at = static_cast<TFilePos>(extension.size());
        // What cannot be deciphered stays as the file has it.
        if (!CryptObject(span, entry.offset, *security_, TCryptDirection::Decrypt, lookup, extension)) continue;
        entry.offset = base + at;
        extension += '\n';
    }
    extension_ = std::move(extension);
    extensionBase_ = base;
}

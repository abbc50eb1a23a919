#include "EncryptDict.h"

#include <map>
#include <memory>
#include <optional>

#include "Lexer.h"
#include "PdfText.h"

namespace {

// A dictionary as far as the /Encrypt entries need one: values as token
// text, nested dictionaries (/CF and its filters) as dictionaries.
struct TSmallDict {
    std::map<std::string, std::string, std::less<>> values;
    std::map<std::string, std::unique_ptr<TSmallDict>, std::less<>> dicts;

    std::string_view Value(std::string_view key) const {
        const auto it = values.find(key);
        return it == values.end() ? std::string_view() : std::string_view(it->second);
    }
    const TSmallDict* Dict(std::string_view key) const {
        const auto it = dicts.find(key);
        return it == dicts.end() ? nullptr : it->second.get();
    }
};

// Nesting deeper than this is no /Encrypt dictionary of any writer.
constexpr int kMaxDepth = 8;

void SkipValue(TLexer& lexer, TToken first, int depth);

std::unique_ptr<TSmallDict> ReadDict(TLexer& lexer, int depth) {
    auto dict = std::make_unique<TSmallDict>();
    for (;;) {
        TToken token = lexer.Next();
        if (token.kind == TTokenKind::DictClose) return dict;
        if (token.kind != TTokenKind::Name) return nullptr;
        const std::string key(token.text);
        token = lexer.Next();
        if (token.kind == TTokenKind::DictOpen) {
            if (depth >= kMaxDepth) return nullptr;
            auto inner = ReadDict(lexer, depth + 1);
            if (!inner) return nullptr;
            dict->dicts[key] = std::move(inner);
        } else if (token.kind == TTokenKind::End || token.kind == TTokenKind::Error ||
                   token.kind == TTokenKind::DictClose) {
            return nullptr;
        } else if (token.kind == TTokenKind::ArrayOpen) {
            SkipValue(lexer, token, depth + 1);
        } else {
            std::string value(token.text);
            // "5 0 R": a reference, which nothing here follows.
            const TLexer save = lexer;
            const TToken gen = lexer.Next();
            if (token.kind == TTokenKind::Integer && gen.kind == TTokenKind::Integer && lexer.Next().text == "R") {
                value.clear();
            } else {
                lexer = save;
            }
            dict->values[key] = std::move(value);
        }
    }
}

void SkipValue(TLexer& lexer, TToken first, int depth) {
    if (first.kind != TTokenKind::ArrayOpen || depth > kMaxDepth) return;
    while (!lexer.AtEnd()) {
        const TToken token = lexer.Next();
        if (token.kind == TTokenKind::ArrayClose || token.kind == TTokenKind::End || token.kind == TTokenKind::Error)
            return;
        if (token.kind == TTokenKind::ArrayOpen) SkipValue(lexer, token, depth + 1);
        if (token.kind == TTokenKind::DictOpen) ReadDict(lexer, depth + 1);
    }
}

std::optional<int32_t> IntValue(const TSmallDict& dict, std::string_view key) {
    const std::string_view text = dict.Value(key);
    if (text.empty()) return std::nullopt;
    if (const auto i = TryStrToInt(std::string(text))) return i;
    // /P is an unsigned 32-bit pattern in some writers' files.
    if (const auto f = TryStrToFloat(std::string(text)); f && *f >= -4294967296.0 && *f <= 4294967295.0)
        return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(*f)));
    return std::nullopt;
}

std::string StringValue(const TSmallDict& dict, std::string_view key) {
    const std::string_view text = dict.Value(key);
    if (text.empty() || (text[0] != '(' && text[0] != '<')) return {};
    return StringTokenBytes(std::string(text));
}

// A key length given as bits (40-256) or, as some writers do in crypt
// filters, as bytes.
std::optional<int> KeyBytes(std::optional<int32_t> length) {
    if (!length) return std::nullopt;
    if (*length >= 5 && *length <= 32) return *length;
    if (*length >= 40 && *length <= 256 && *length % 8 == 0) return *length / 8;
    return std::nullopt;
}

// The method of the crypt filter `name` of a version 4 or 5 dictionary.
std::optional<TCryptMethod> FilterMethod(const TSmallDict& top, std::string_view name, int& keyBytes) {
    if (name.empty() || name == "/Identity") return TCryptMethod::None;
    const TSmallDict* cf = top.Dict("/CF");
    const TSmallDict* filter = cf != nullptr ? cf->Dict(name) : nullptr;
    if (filter == nullptr) return std::nullopt;
    const std::string_view cfm = filter->Value("/CFM");
    const auto method = CryptMethodFromName(cfm.empty() ? "/None" : cfm);
    if (method == TCryptMethod::Rc4) {
        if (const auto n = KeyBytes(IntValue(*filter, "/Length"))) keyBytes = *n;
    }
    return method;
}

}  // namespace

std::variant<TEncryptParams, TEncryptProblem> ParseEncryptDict(const uint8_t* data, TFilePos size, TFilePos pos,
                                                                std::string_view id0) {
    TLexer lexer(data, size, pos);
    if (lexer.Next().kind != TTokenKind::DictOpen) return TEncryptProblem::NotADictionary;
    const auto dict = ReadDict(lexer, 0);
    if (!dict) return TEncryptProblem::NotADictionary;
    const std::string_view filter = dict->Value("/Filter");
    if (!filter.empty() && filter != "/Standard") return TEncryptProblem::OtherHandler;

    TEncryptParams params;
    params.id0 = std::string(id0);
    params.v = IntValue(*dict, "/V").value_or(0);
    params.r = IntValue(*dict, "/R").value_or(0);
    params.p = IntValue(*dict, "/P").value_or(-4);
    params.o = StringValue(*dict, "/O");
    params.u = StringValue(*dict, "/U");
    params.oe = StringValue(*dict, "/OE");
    params.ue = StringValue(*dict, "/UE");
    params.perms = StringValue(*dict, "/Perms");
    params.encryptMetadata = dict->Value("/EncryptMetadata") != "false";
    const auto length = KeyBytes(IntValue(*dict, "/Length"));

    switch (params.v) {
        case 0:
        case 1:
            params.keyBytes = 5;
            break;
        case 2:
            params.keyBytes = length.value_or(5);
            break;
        case 4:
        case 5: {
            params.keyBytes = params.v == 5 ? 32 : length.value_or(16);
            const auto stm = FilterMethod(*dict, dict->Value("/StmF"), params.keyBytes);
            const auto str = FilterMethod(*dict, dict->Value("/StrF"), params.keyBytes);
            const std::string_view eff = dict->Value("/EFF");
            const auto file = eff.empty() ? stm : FilterMethod(*dict, eff, params.keyBytes);
            if (!stm || !str || !file) return TEncryptProblem::Unsupported;
            params.streamMethod = *stm;
            params.stringMethod = *str;
            params.fileMethod = *file;
            break;
        }
        default:
            return TEncryptProblem::Unsupported;
    }
    if (params.v < 4) params.fileMethod = params.stringMethod = params.streamMethod = TCryptMethod::Rc4;
    if (!TSecurityHandler::Supported(params)) return TEncryptProblem::Unsupported;
    return params;
}

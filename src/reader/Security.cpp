#include "Security.h"

#include <openssl/evp.h>
#include <openssl/provider.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <mutex>

namespace {

using TBytes = std::vector<uint8_t>;

// The 32 bytes every password of revisions 2-4 is padded with.
constexpr std::array<uint8_t, 32> kPasswordPad = {
    0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41, 0x64, 0x00, 0x4E, 0x56, 0xFF, 0xFA, 0x01, 0x08,
    0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68, 0x3E, 0x80, 0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};

std::span<const uint8_t> Bytes(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

void Append(TBytes& to, std::span<const uint8_t> bytes) { to.insert(to.end(), bytes.begin(), bytes.end()); }

struct TCipherCtxFree {
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
using TCipherCtx = std::unique_ptr<EVP_CIPHER_CTX, TCipherCtxFree>;

TBytes Digest(const EVP_MD* md, std::span<const uint8_t> data) {
    TBytes out(EVP_MAX_MD_SIZE);
    unsigned int size = 0;
    if (EVP_Digest(data.data(), data.size(), out.data(), &size, md, nullptr) != 1) size = 0;
    out.resize(size);
    return out;
}

TBytes Md5(std::span<const uint8_t> data) { return Digest(EVP_md5(), data); }

// RC4 lives in OpenSSL 3's legacy provider, which is not loaded by default.
// It is loaded into a library context of our own, so that the default
// context, which other libraries of the process use, stays as it is.
const EVP_CIPHER* Rc4Cipher() {
    static const EVP_CIPHER* cipher = [] {
        OSSL_LIB_CTX* ctx = OSSL_LIB_CTX_new();
        if (ctx == nullptr || OSSL_PROVIDER_load(ctx, "legacy") == nullptr) return static_cast<EVP_CIPHER*>(nullptr);
        OSSL_PROVIDER_load(ctx, "default");
        return EVP_CIPHER_fetch(ctx, "RC4", nullptr);
    }();
    return cipher;
}

// One context per thread for every object: opening a file deciphers tens
// of thousands of strings and streams, and a fresh context for each costs
// more than deciphering most of them.
EVP_CIPHER_CTX* ThreadCipherCtx() {
    thread_local TCipherCtx ctx(EVP_CIPHER_CTX_new());
    return ctx.get();
}

// Runs one cipher over data with padding switched off, appending the result
// to `out` (sized for data.size() + 32 bytes behind `at`); the number of
// bytes written, nothing on failure.
template <typename TOut>
std::optional<size_t> RunCipherInto(const EVP_CIPHER* cipher, std::span<const uint8_t> key, const uint8_t* iv,
                                    std::span<const uint8_t> data, bool encrypt, TOut& out, size_t at) {
    EVP_CIPHER_CTX* ctx = ThreadCipherCtx();
    if (ctx == nullptr || cipher == nullptr) return std::nullopt;
    if (EVP_CipherInit_ex(ctx, cipher, nullptr, nullptr, nullptr, encrypt ? 1 : 0) != 1) return std::nullopt;
    if (EVP_CIPHER_CTX_set_key_length(ctx, static_cast<int>(key.size())) != 1) return std::nullopt;
    if (EVP_CipherInit_ex(ctx, nullptr, nullptr, key.data(), iv, -1) != 1) return std::nullopt;
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    auto* const first = reinterpret_cast<unsigned char*>(out.data() + at);
    size_t written = 0;
    // OpenSSL takes int lengths: go through large streams in pieces.
    size_t done = 0;
    while (done < data.size()) {
        const int piece = static_cast<int>(std::min<size_t>(data.size() - done, size_t{1} << 30));
        int n = 0;
        if (EVP_CipherUpdate(ctx, first + written, &n, data.data() + done, piece) != 1) return std::nullopt;
        written += static_cast<size_t>(n);
        done += static_cast<size_t>(piece);
    }
    int last = 0;
    if (EVP_CipherFinal_ex(ctx, first + written, &last) != 1) return std::nullopt;
    return written + static_cast<size_t>(last);
}

// The same into bytes of their own; empty on failure.
TBytes RunCipher(const EVP_CIPHER* cipher, std::span<const uint8_t> key, const uint8_t* iv,
                 std::span<const uint8_t> data, bool encrypt) {
    TBytes out(data.size() + 32);
    const std::optional<size_t> size = RunCipherInto(cipher, key, iv, data, encrypt, out, 0);
    out.resize(size.value_or(0));
    return out;
}

TBytes Rc4(std::span<const uint8_t> key, std::span<const uint8_t> data) {
    return RunCipher(Rc4Cipher(), key, nullptr, data, true);
}

const EVP_CIPHER* AesCbc(size_t keyBytes) { return keyBytes == 32 ? EVP_aes_256_cbc() : EVP_aes_128_cbc(); }

TBytes PaddedPassword(std::string_view password) {
    TBytes out(password.begin(), password.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(password.size(), 32)));
    out.insert(out.end(), kPasswordPad.begin(), kPasswordPad.begin() + static_cast<std::ptrdiff_t>(32 - out.size()));
    return out;
}

TBytes XorKey(const TBytes& key, uint8_t value) {
    TBytes out = key;
    for (uint8_t& b : out) b ^= value;
    return out;
}

// ---- revisions 2 to 4 --------------------------------------------------------

int KeyBytesR234(const TEncryptParams& params) { return params.r == 2 ? 5 : params.keyBytes; }

TBytes FileKeyR234(const TEncryptParams& params, std::string_view userPassword) {
    TBytes input = PaddedPassword(userPassword);
    Append(input, Bytes(params.o).first(32));
    const auto p = static_cast<uint32_t>(params.p);
    for (int shift = 0; shift < 32; shift += 8) input.push_back(static_cast<uint8_t>(p >> shift));
    Append(input, Bytes(params.id0));
    if (params.r >= 4 && !params.encryptMetadata) input.insert(input.end(), 4, 0xFF);
    TBytes hash = Md5(input);
    const auto n = static_cast<size_t>(KeyBytesR234(params));
    if (params.r >= 3) {
        for (int i = 0; i < 50; ++i) hash = Md5(std::span<const uint8_t>(hash).first(n));
    }
    hash.resize(n);
    return hash;
}

bool UserKeyMatchesR234(const TEncryptParams& params, const TBytes& key) {
    if (params.r == 2) {
        const TBytes u = Rc4(key, kPasswordPad);
        return u.size() == 32 && std::memcmp(u.data(), params.u.data(), 32) == 0;
    }
    TBytes input(kPasswordPad.begin(), kPasswordPad.end());
    Append(input, Bytes(params.id0));
    TBytes x = Rc4(key, Md5(input));
    for (uint8_t i = 1; i <= 19; ++i) x = Rc4(XorKey(key, i), x);
    return x.size() >= 16 && std::memcmp(x.data(), params.u.data(), 16) == 0;
}

// The user password hidden in /O, deciphered with the owner password.
std::string UserPasswordFromOwnerR234(const TEncryptParams& params, std::string_view ownerPassword) {
    TBytes hash = Md5(PaddedPassword(ownerPassword));
    if (params.r >= 3) {
        for (int i = 0; i < 50; ++i) hash = Md5(hash);
    }
    hash.resize(static_cast<size_t>(KeyBytesR234(params)));
    TBytes x(params.o.begin(), params.o.begin() + 32);
    if (params.r == 2) {
        x = Rc4(hash, x);
    } else {
        for (int i = 19; i >= 0; --i) x = Rc4(XorKey(hash, static_cast<uint8_t>(i)), x);
    }
    return {x.begin(), x.end()};
}

// ---- revisions 5 and 6 -------------------------------------------------------

// The hash of ISO 32000-2 (algorithm 2.B); revision 5, Adobe's extension
// level 3, uses its first step only.
TBytes HashR56(int revision, std::span<const uint8_t> password, std::span<const uint8_t> salt,
               std::span<const uint8_t> userKey) {
    TBytes input(password.begin(), password.end());
    Append(input, salt);
    Append(input, userKey);
    TBytes k = Digest(EVP_sha256(), input);
    if (revision == 5) return k;
    for (int round = 0;; ++round) {
        TBytes k1;
        k1.reserve(64 * (password.size() + k.size() + userKey.size()));
        for (int i = 0; i < 64; ++i) {
            Append(k1, password);
            Append(k1, k);
            Append(k1, userKey);
        }
        const TBytes e = RunCipher(EVP_aes_128_cbc(), std::span<const uint8_t>(k).first(16), k.data() + 16, k1, true);
        if (e.size() < 16) return {};
        int sum = 0;
        for (int i = 0; i < 16; ++i) sum += e[static_cast<size_t>(i)];
        const EVP_MD* md = sum % 3 == 0 ? EVP_sha256() : sum % 3 == 1 ? EVP_sha384() : EVP_sha512();
        k = Digest(md, e);
        if (round >= 63 && e.back() <= round + 1 - 32) break;
    }
    k.resize(32);
    return k;
}

// The file key from /UE or /OE, when the password's hash matches.
std::optional<TBytes> FileKeyR56(const TEncryptParams& params, std::span<const uint8_t> password, bool owner) {
    const auto stored = Bytes(owner ? params.o : params.u);
    const auto wrapped = Bytes(owner ? params.oe : params.ue);
    const auto userKey = owner ? Bytes(params.u).first(48) : std::span<const uint8_t>();
    const TBytes check = HashR56(params.r, password, stored.subspan(32, 8), userKey);
    if (check.size() != 32 || std::memcmp(check.data(), stored.data(), 32) != 0) return std::nullopt;
    const TBytes wrapKey = HashR56(params.r, password, stored.subspan(40, 8), userKey);
    const std::array<uint8_t, 16> zeroIv{};
    TBytes key = RunCipher(EVP_aes_256_cbc(), wrapKey, zeroIv.data(), wrapped.first(32), false);
    if (key.size() != 32) return std::nullopt;
    return key;
}

// Passwords of revisions 2-4 are PDFDocEncoding bytes; one typed as UTF-8
// with Latin letters is also tried in that form.
std::optional<std::string> Latin1FromUtf8(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<uint8_t>(text[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if ((c == 0xC2 || c == 0xC3) && i + 1 < text.size()) {
            out += static_cast<char>(((c & 0x03) << 6) | (static_cast<uint8_t>(text[++i]) & 0x3F));
        } else {
            return std::nullopt;
        }
    }
    return out;
}

}  // namespace

std::optional<TCryptMethod> CryptMethodFromName(std::string_view cfm) {
    if (cfm == "/None" || cfm == "/Identity") return TCryptMethod::None;
    if (cfm == "/V2") return TCryptMethod::Rc4;
    if (cfm == "/AESV2") return TCryptMethod::Aes128;
    if (cfm == "/AESV3") return TCryptMethod::Aes256;
    return std::nullopt;
}

TPermissions TPermissions::FromP(int32_t p, int revision) {
    const auto bit = [p](int n) { return (static_cast<uint32_t>(p) >> (n - 1) & 1U) != 0; };
    TPermissions perms;
    perms.print = bit(3);
    perms.modify = bit(4);
    perms.copy = bit(5);
    perms.annotate = bit(6);
    // Revision 2 knows only the four bits above; the later ones follow them.
    perms.fillForms = revision >= 3 ? bit(9) : perms.annotate;
    perms.extractForAccessibility = revision >= 3 ? bit(10) : perms.copy;
    perms.assemble = revision >= 3 ? bit(11) : perms.modify;
    perms.printHighQuality = revision >= 3 ? bit(12) : perms.print;
    return perms;
}

bool TSecurityHandler::Supported(const TEncryptParams& params) {
    if (params.r >= 2 && params.r <= 4) {
        const int n = KeyBytesR234(params);
        return params.o.size() >= 32 && params.u.size() >= 32 && n >= 5 && n <= 16;
    }
    if (params.r == 5 || params.r == 6) {
        return params.o.size() >= 48 && params.u.size() >= 48 && params.oe.size() >= 32 && params.ue.size() >= 32;
    }
    return false;
}

std::optional<TSecurityHandler> TSecurityHandler::Open(const TEncryptParams& params, std::string_view password) {
    if (!Supported(params)) return std::nullopt;
    if (params.r >= 5) {
        // UTF-8 as typed, at most 127 bytes.
        const auto pw = Bytes(password).first(std::min<size_t>(password.size(), 127));
        if (auto key = FileKeyR56(params, pw, true)) return TSecurityHandler(params, std::move(*key), TPasswordMatch::Owner);
        if (auto key = FileKeyR56(params, pw, false)) return TSecurityHandler(params, std::move(*key), TPasswordMatch::User);
        return std::nullopt;
    }
    std::vector<std::string> forms{std::string(password)};
    if (auto latin1 = Latin1FromUtf8(password); latin1 && *latin1 != password) forms.push_back(*latin1);
    for (const std::string& pw : forms) {
        const std::string user = UserPasswordFromOwnerR234(params, pw);
        TBytes key = FileKeyR234(params, user);
        if (UserKeyMatchesR234(params, key)) return TSecurityHandler(params, std::move(key), TPasswordMatch::Owner);
    }
    for (const std::string& pw : forms) {
        TBytes key = FileKeyR234(params, pw);
        if (UserKeyMatchesR234(params, key)) return TSecurityHandler(params, std::move(key), TPasswordMatch::User);
    }
    return std::nullopt;
}

TPermissions TSecurityHandler::Permissions() const {
    return match_ == TPasswordMatch::Owner ? TPermissions::All() : TPermissions::FromP(params_.p, params_.r);
}

std::vector<uint8_t> TSecurityHandler::ObjectKey(TCryptMethod method, int64_t objNum, int32_t gen) const {
    if (params_.r >= 5) return fileKey_;
    TBytes input = fileKey_;
    for (int shift = 0; shift < 24; shift += 8) input.push_back(static_cast<uint8_t>(objNum >> shift));
    for (int shift = 0; shift < 16; shift += 8) input.push_back(static_cast<uint8_t>(gen >> shift));
    if (method == TCryptMethod::Aes128) Append(input, Bytes("sAlT"));
    TBytes key = Md5(input);
    key.resize(std::min<size_t>(fileKey_.size() + 5, 16));
    return key;
}

std::vector<uint8_t> TSecurityHandler::Decrypt(TCryptMethod method, std::span<const uint8_t> data, int64_t objNum,
                                               int32_t gen) const {
    std::string plain;
    DecryptAppend(method, data, objNum, gen, plain);
    return {plain.begin(), plain.end()};
}

void TSecurityHandler::DecryptAppend(TCryptMethod method, std::span<const uint8_t> data, int64_t objNum, int32_t gen,
                                     std::string& out) const {
    if (method == TCryptMethod::None) {
        out.append(reinterpret_cast<const char*>(data.data()), data.size());
        return;
    }
    const TBytes key = ObjectKey(method, objNum, gen);
    const size_t at = out.size();
    std::span<const uint8_t> body = data;
    const uint8_t* iv = nullptr;
    const EVP_CIPHER* cipher = nullptr;
    if (method == TCryptMethod::Rc4) {
        cipher = Rc4Cipher();
    } else {
        // The first block is the initialisation vector; a cut last block is
        // dropped, as readers do with such damage.
        if (data.size() < 32) return;
        body = data.subspan(16, (data.size() - 16) / 16 * 16);
        iv = data.data();
        cipher = AesCbc(key.size());
    }
    out.resize(at + body.size() + 32);
    const std::optional<size_t> size = RunCipherInto(cipher, key, iv, body, method == TCryptMethod::Rc4, out, at);
    out.resize(at + size.value_or(0));
    if (method == TCryptMethod::Rc4 || out.size() == at) return;
    const auto pad = static_cast<uint8_t>(out.back());
    const bool padded = pad >= 1 && pad <= 16 && pad <= out.size() - at &&
                        std::all_of(out.end() - pad, out.end(), [pad](char b) { return static_cast<uint8_t>(b) == pad; });
    if (padded) out.resize(out.size() - pad);
}

std::vector<uint8_t> TSecurityHandler::Encrypt(TCryptMethod method, std::span<const uint8_t> data, int64_t objNum,
                                               int32_t gen) const {
    if (method == TCryptMethod::None) return {data.begin(), data.end()};
    const TBytes key = ObjectKey(method, objNum, gen);
    if (method == TCryptMethod::Rc4) return Rc4(key, data);
    TBytes seed = key;
    for (int shift = 0; shift < 64; shift += 8) seed.push_back(static_cast<uint8_t>(objNum >> shift));
    for (int shift = 0; shift < 32; shift += 8) seed.push_back(static_cast<uint8_t>(gen >> shift));
    Append(seed, data);
    TBytes iv = Digest(EVP_sha256(), seed);
    iv.resize(16);
    const auto pad = static_cast<uint8_t>(16 - data.size() % 16);
    TBytes padded(data.begin(), data.end());
    padded.insert(padded.end(), pad, pad);
    TBytes out = iv;
    Append(out, RunCipher(AesCbc(key.size()), key, iv.data(), padded, true));
    return out;
}

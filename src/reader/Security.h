// The standard security handler of PDF: the file key from a password, the
// permissions, and the ciphers of strings and streams, for every revision
// from 2 (RC4, 40 bits) to 6 (AES-256 with the SHA-2 hash of ISO 32000-2).
// All ciphers and hashes are OpenSSL's libcrypto.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// How the strings or streams of a file are encrypted (a crypt filter's
// /CFM; /Identity and /None are None).
enum class TCryptMethod : uint8_t { None, Rc4, Aes128, Aes256 };

// The entries of a standard /Encrypt dictionary that the handler needs,
// with the first string of the trailer's /ID. Strings hold raw bytes.
struct TEncryptParams {
    int v = 0;
    int r = 0;
    int keyBytes = 5;  // from /Length (bits) where the revision uses it
    std::string o, u, oe, ue, perms;
    int32_t p = 0;
    bool encryptMetadata = true;
    TCryptMethod streamMethod = TCryptMethod::Rc4;
    TCryptMethod stringMethod = TCryptMethod::Rc4;
    // Embedded files (/EFF); the stream method where the file names none.
    TCryptMethod fileMethod = TCryptMethod::Rc4;
    std::string id0;
};

// What may be done with the document, from /P (bits 3-6, 9-12). Opened with
// the owner password, everything is allowed.
struct TPermissions {
    bool print = true;
    bool modify = true;
    bool copy = true;
    bool annotate = true;
    bool fillForms = true;
    bool extractForAccessibility = true;
    bool assemble = true;
    bool printHighQuality = true;

    static TPermissions FromP(int32_t p, int revision);
    static TPermissions All() { return {}; }
};

enum class TPasswordMatch : uint8_t { User, Owner, None };

class TSecurityHandler {
public:
    // Tries `password` as the owner password and as the user password (an
    // empty one opens most files). None when it is neither, or when the
    // parameters name a revision or sizes this handler does not know.
    static std::optional<TSecurityHandler> Open(const TEncryptParams& params, std::string_view password);
    // Whether the handler knows the revision and the strings have the sizes
    // it needs; Open fails for anything else.
    static bool Supported(const TEncryptParams& params);

    TPasswordMatch Match() const { return match_; }
    const TEncryptParams& Params() const { return params_; }
    const std::vector<uint8_t>& FileKey() const { return fileKey_; }
    // The /P permissions, or all of them when the owner password was given.
    TPermissions Permissions() const;

    // The plain bytes of a string or stream of object (objNum, gen). AES data
    // whose length is not a whole number of blocks, or whose padding is
    // wrong, yields what can be deciphered (as readers do); never throws.
    std::vector<uint8_t> Decrypt(TCryptMethod method, std::span<const uint8_t> data, int64_t objNum,
                                 int32_t gen) const;
    // The same, appended to `out` without a copy of its own (the reader's
    // one pass over a whole file).
    void DecryptAppend(TCryptMethod method, std::span<const uint8_t> data, int64_t objNum, int32_t gen,
                       std::string& out) const;
    // The encrypted bytes for a string or stream of that object. The AES
    // initialisation vector is drawn from the key, the object and the
    // bytes, so that the same document gives the same file.
    std::vector<uint8_t> Encrypt(TCryptMethod method, std::span<const uint8_t> data, int64_t objNum,
                                 int32_t gen) const;

private:
    TSecurityHandler(const TEncryptParams& params, std::vector<uint8_t> key, TPasswordMatch match)
        : params_(params), fileKey_(std::move(key)), match_(match) {}
    std::vector<uint8_t> ObjectKey(TCryptMethod method, int64_t objNum, int32_t gen) const;

    TEncryptParams params_;
    std::vector<uint8_t> fileKey_;
    TPasswordMatch match_ = TPasswordMatch::None;
};

// The crypt filter method a /CFM name stands for; nullopt for a name the
// handler does not know.
std::optional<TCryptMethod> CryptMethodFromName(std::string_view cfm);

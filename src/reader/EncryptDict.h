// Reading a file's /Encrypt dictionary into the security handler's
// parameters.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "Lexer.h"
#include "Security.h"

// Why an /Encrypt dictionary cannot be used.
enum class TEncryptProblem : uint8_t {
    NotADictionary,  // no "<<" where the dictionary should start
    OtherHandler,    // /Filter names a handler other than /Standard (certificates, for one)
    Unsupported,     // a revision, version or crypt filter method the handler does not know
};

// Parses the dictionary written at `pos` of `data` (its values given in
// place; references inside it are not followed, which writers do not need)
// together with the first /ID string of the trailer.
std::variant<TEncryptParams, TEncryptProblem> ParseEncryptDict(const uint8_t* data, TFilePos size, TFilePos pos,
                                                                std::string_view id0);

// Whole objects through the security handler: the strings and the stream
// data of one object's text ciphered with that object's key. The reader
// deciphers every object of an encrypted file this way once, when it opens
// it, so that everything behind it reads plain objects; the writer enciphers
// every object it writes the same way.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "PdfFile.h"
#include "Security.h"

enum class TCryptDirection : uint8_t { Decrypt, Encrypt };

// Where the data of the stream whose "stream" keyword stands at keywordPos
// begin and how many bytes they have (see TPdfFile::ReadStreamBytes, which
// reads them so); nothing without the keyword.
struct TStreamExtent {
    TFilePos start = 0;
    TFilePos count = 0;
};
std::optional<TStreamExtent> StreamExtentAt(const TByteSpan& span, TFilePos keywordPos, TFilePos length);

// The value of an indirect /Length: object n's integer, if known.
using TLengthLookup = std::function<std::optional<TFilePos>(int32_t objNum)>;

// The object whose "N G obj" stands at `pos` of `span`, ciphered, appended
// to `out`: "N G obj", the body with its strings and stream data ciphered (a
// stream's /Length is then the new data's length, written in place), and
// "endobj". Returns the position behind the old object's "endobj"; nothing,
// and `out` as it was, where the object is to stay as it is: a
// cross-reference stream, text that is not an object or has no end.
std::optional<TFilePos> CryptObject(const TByteSpan& span, TFilePos pos, const TSecurityHandler& handler,
                                    TCryptDirection direction, const TLengthLookup& lookup, std::string& out);

// One past the ">>" that closes the dictionary whose "<<" is at pos;
// nothing when it is not closed.
std::optional<TFilePos> DictEnd(const TByteSpan& span, TFilePos pos);

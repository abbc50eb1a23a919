// The cross-reference table and trailer of a written file.
#pragma once

#include <cstdint>
#include <string>

#include "TDynaArray.h"

struct TXrefEntry {
    int32_t objNum = 0;
    // In use: the object's position in the new file. Free: the number of the
    // next free object (0 for the last) once the table is complete.
    int64_t offset = 0;
    int32_t generation = 0;
    uint8_t inUse = 0;
};
using TXrefList = TDynaArray<TXrefEntry>;

// Sorts the entries by object number, closes every gap below the largest
// number with a free entry of generation 65535, and links the free entries
// in ascending order (object 0 first). The list must hold object 0 and no
// number twice; a later duplicate is dropped rather than written twice.
void CompleteXrefTable(TXrefList& entries);

// "xref", one subsection line per run of consecutive numbers, and one
// 20-byte line per entry (ended by CR LF). Other lines end with CR.
std::string XrefTableText(const TXrefList& table);

struct TTrailerRefs {
    bool hasInfo = false;
    int32_t infoObjNum = 0, infoGen = 0;
    bool hasRoot = false;
    int32_t rootObjNum = 0, rootGen = 0;
    std::string idEntry;       // "/ID [ <...> <...> ]", or empty
    std::string encryptEntry;  // "/Encrypt N G R", or empty
};

// "trailer" ... "%%EOF". /Size is the number of entries of the table, one
// more than its largest object number.
std::string TrailerText(int32_t size, const TTrailerRefs& refs, int64_t xrefPos);

// A number's decimal text left-padded with "0" to `width`; longer numbers
// are written in full.
std::string ZeroPadded(int64_t value, int32_t width);

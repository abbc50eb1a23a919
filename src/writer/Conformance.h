// What a file claims to conform to (PDF/A, PDF/X) and what keeps a
// written file from meeting that claim.
#pragma once

#include <string>
#include <vector>

#include "PdfDocument.h"
#include "XmpPacket.h"

// The PDF/A and PDF/X identification of the open document: from its XMP
// packet, and for PDF/X from the information dictionary's /GTS_PDFXVersion
// where the packet names none. Moves the document's cursor.
TXmpClaims DocumentClaims(TPdfDocument& doc);

// Why a written file no longer meets the PDF/A or PDF/X part it claims.
struct TClaimProblem {
    enum class TKind {
        FontNotEmbedded,  // a font the save put in is named only
        WidthsDiffer,     // a font keeps widths its program does not have
        GlyphsMissing,    // a font lacks glyphs the pages show
    };
    TKind kind = TKind::FontNotEmbedded;
    std::string claim;     // "PDF/A-2b", "PDF/X-4"
    std::string fontName;  // as written
};

// What a font the save wrote means for a claim (see TReplacementFontWriter).
struct TWrittenFontFacts {
    std::string name;
    bool embedded = true;
    bool widthsOfProgram = true;
    bool glyphsMissing = false;
};
// The problems of these fonts with the claims: every claim needs fonts
// embedded; PDF/A also needs the widths of the program, and from part 2
// on no code that draws nothing (.notdef).
std::vector<TClaimProblem> ClaimProblems(const TXmpClaims& claims, const std::vector<TWrittenFontFacts>& fonts);

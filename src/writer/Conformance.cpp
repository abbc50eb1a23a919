#include "Conformance.h"

#include "DocumentMetadata.h"
#include "WriterParts_p.h"

TXmpClaims DocumentClaims(TPdfDocument& doc) {
    const int32_t savedPos = doc.GetPos();
    TXmpClaims claims;
    if (const auto stream = CatalogMetadata(doc); stream && stream->decoded)
        claims = XmpClaims(stream->packet).value_or(TXmpClaims{});
    if (claims.pdfx.empty() && doc.infoFound && doc.infoEntriesValid)
        if (const TDictEntry* version = EntryWithKey(doc.infoEntries, "/GTS_PDFXVersion"))
            claims.pdfx = TextStringToUtf8(StringTokenBytes(version->tokens[1]));
    doc.SetPos(savedPos);
    return claims;
}

std::vector<TClaimProblem> ClaimProblems(const TXmpClaims& claims, const std::vector<TWrittenFontFacts>& fonts) {
    std::vector<TClaimProblem> problems;
    for (const TWrittenFontFacts& font : fonts) {
        for (const std::string* claim : {&claims.pdfa, &claims.pdfx}) {
            if (claim->empty()) continue;
            const bool pdfa = claim == &claims.pdfa;
            if (!font.embedded) {
                problems.push_back({TClaimProblem::TKind::FontNotEmbedded, *claim, font.name});
                continue;
            }
            if (pdfa && !font.widthsOfProgram)
                problems.push_back({TClaimProblem::TKind::WidthsDiffer, *claim, font.name});
            if (pdfa && claims.pdfaPart >= 2 && font.glyphsMissing)
                problems.push_back({TClaimProblem::TKind::GlyphsMissing, *claim, font.name});
        }
    }
    return problems;
}

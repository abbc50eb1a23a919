// Rewriting the forms and annotation appearances whose fonts are replaced.
//
// A replacement is chosen per page; the fonts of a form are records of each
// page that can draw it. A form is rewritten in place (same number) when
// every page that reaches it chose the same replacements for its fonts.
// When pages chose differently, the page-level form gets one copy per
// distinct choice and each page that chose something refers to its copy;
// pages that chose nothing keep the original form.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "ContentRewrite.h"
#include "PdfDocument.h"

struct TFormRewrite {
    int32_t formIndex = -1;          // in doc.formCatalog.forms
    TFontReplacements replacements;  // old name -> escaped new name
    int32_t objNum = 0;              // the number written: the form's own, or a new one for a copy
    int32_t gen = 0;
    // Pages (indexes) whose /XObject entry `resName` is to name the copy;
    // empty for a rewrite in place.
    std::vector<int32_t> pages;
    std::string resName;
};

// The rewrites the current replacements call for; copies get numbers from
// `allocate`.
// A form whose content cannot be read stays as it is. Moves the document's
// cursor.
template <typename Allocate>
std::vector<TFormRewrite> PlanFormRewrites(TPdfDocument& doc, Allocate allocate);

// Implementation detail of PlanFormRewrites, without numbers for copies
// (objNum 0).
std::vector<TFormRewrite> FormRewritesWithoutNumbers(TPdfDocument& doc);

template <typename Allocate>
std::vector<TFormRewrite> PlanFormRewrites(TPdfDocument& doc, Allocate allocate) {
    std::vector<TFormRewrite> rewrites = FormRewritesWithoutNumbers(doc);
    for (TFormRewrite& rewrite : rewrites)
        if (rewrite.objNum == 0) rewrite.objNum = allocate();
    return rewrites;
}

// The whole object "N G obj ... endobj" of a rewritten form: its dictionary
// as read but /Resources written in place with the added fonts in its
// /Font dictionary in place of the fonts they replace, the content
// rewritten and compressed. Empty when the
// content cannot be read. Moves the document's cursor.
std::string RewrittenFormObject(TPdfDocument& doc, const TFormRewrite& rewrite, const std::string& fontRefList);

// For each page index, the (resource name -> object number) of the copies
// its /XObject entries must name instead of the original forms.
std::map<int32_t, std::map<std::string, int32_t>> RedirectedXObjects(const std::vector<TFormRewrite>& rewrites);

// A page's effective /Resources entry as tokens of a dictionary written in
// place ("/Resources" "<<" ... ">>"), its /XObject dictionary written in
// place too, with the entries named in `redirects` naming their copies.
// Moves the document's cursor.
std::vector<std::string> RedirectedResourcesTokens(TPdfDocument& doc, const TDictEntry& entry,
                                                   const std::map<std::string, int32_t>& redirects);

// Rewriting the forms and annotation appearances whose fonts are replaced.
//
// A replacement is chosen per page; the fonts of a form are records of each
// page that can draw it. What a page needs of a form is its "variant": the
// replacements the page chose for the form's own fonts, and the variants of
// the forms it calls. A form is rewritten in place (same number) when every
// page that reaches it needs the same variant. Otherwise each variant gets a
// copy of its own, and every link of the chain from the page down to it (the
// page's /XObject entry, a calling form, an annotation's /AP) names the
// copies; a page that chose nothing keeps the original objects. A link that
// cannot be redirected without changing another page (one annotation object
// listed by pages that chose differently) stays as it was, and the fonts
// behind it are reported as kept for that page.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "ContentRewrite.h"
#include "PdfDocument.h"

struct TFormRewrite {
    int32_t formIndex = -1;          // in doc.formCatalog.forms
    TFontReplacements replacements;  // old name -> escaped new name; empty: the content stays
    // The form's /XObject entries that name copies of the forms they call.
    std::map<std::string, int32_t> xobjectRedirects;
    int32_t objNum = 0;  // the number written: the form's own, or a new one for a copy
    int32_t gen = 0;
    bool inPlace = false;
};

// An annotation whose normal appearance is a copy: its /AP names
// `appearanceObjNum` wherever it named `originalObjNum`.
struct TAppearanceRedirect {
    int32_t annotObjNum = 0;
    int32_t annotGen = 0;
    int32_t originalObjNum = 0;
    int32_t appearanceObjNum = 0;
};

// A font chosen on a page that the page still draws in the original,
// because the form or appearance that uses it could not be changed for that
// page alone (or its content could not be read).
struct TKeptFormFont {
    int32_t pageIndex = 0;
    std::string resName;
};

struct TFormPlan {
    std::vector<TFormRewrite> forms;
    // Per page index: the page's /XObject names that are to name copies.
    std::map<int32_t, std::map<std::string, int32_t>> pageRedirects;
    std::vector<TAppearanceRedirect> appearances;
    std::vector<TKeptFormFont> keptFonts;
};

// The rewrites the current replacements call for; copies get numbers from
// `allocate` (called once per copy). Moves the document's cursor.
template <typename Allocate>
TFormPlan PlanFormRewrites(TPdfDocument& doc, Allocate allocate);

// Implementation detail of PlanFormRewrites: copies are numbered -1, -2, ...
// and every redirect names those numbers.
TFormPlan FormPlanWithPlaceholders(TPdfDocument& doc);

template <typename Allocate>
TFormPlan PlanFormRewrites(TPdfDocument& doc, Allocate allocate) {
    TFormPlan plan = FormPlanWithPlaceholders(doc);
    std::map<int32_t, int32_t> numbers;  // placeholder -> number
    auto number = [&numbers](int32_t num) { return num < 0 ? numbers.at(num) : num; };
    for (TFormRewrite& rewrite : plan.forms)
        if (rewrite.objNum < 0) rewrite.objNum = numbers[rewrite.objNum] = allocate();
    for (TFormRewrite& rewrite : plan.forms)
        for (auto& [name, num] : rewrite.xobjectRedirects) num = number(num);
    for (auto& [page, redirects] : plan.pageRedirects)
        for (auto& [name, num] : redirects) num = number(num);
    for (TAppearanceRedirect& redirect : plan.appearances) redirect.appearanceObjNum = number(redirect.appearanceObjNum);
    return plan;
}

// The whole object "N G obj ... endobj" of a rewritten form: its dictionary
// as read but /Resources written in place, with the added fonts its content
// selects in its /Font dictionary in place of the fonts they replace and its
// /XObject entries naming the copies of the forms it calls. The content is rewritten
// and compressed when fonts are replaced, else copied as it stands. Empty
// when the stream cannot be read. Moves the document's cursor.
std::string RewrittenFormObject(TPdfDocument& doc, const TFormRewrite& rewrite, const std::string& fontRefList);

// The annotation object with its /AP naming the copy of its appearance;
// empty when the annotation cannot be read. Moves the document's cursor.
std::string RedirectedAnnotationObject(TPdfDocument& doc, const TAppearanceRedirect& redirect);

// A page's effective /Resources entry as tokens of a dictionary written in
// place ("/Resources" "<<" ... ">>"), its /XObject dictionary written in
// place too, with the entries named in `redirects` naming their copies.
// Moves the document's cursor.
std::vector<std::string> RedirectedResourcesTokens(TPdfDocument& doc, const TDictEntry& entry,
                                                   const std::map<std::string, int32_t>& redirects);


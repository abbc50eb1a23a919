// The writer's page tree and page objects, each with its content stream and
// the old objects only that page uses.
#include "PdfWriter_p.h"

#include <zlib.h>

void TPdfWriter::CopyPageObjects(size_t page) {
    if (!compact_ || page >= pageObjects_.size()) return;
    const TFilePos savedPos = doc_.GetPos();
    for (const int32_t num : pageObjects_[page]) CopyOldObject(num);
    pageObjects_[page] = {};
    copied_.Flush(doc_);
    doc_.SetPos(savedPos);
}

void TPdfWriter::WritePagesRoot() {
    if (!doc_.pagesFound) return;
    BeginObject(pagesRoot_.num, pagesRoot_.gen);
    Line(std::to_string(pagesRoot_.num) + " " + std::to_string(pagesRoot_.gen) + " obj");
    Line("<<");
    Line("/Type /Pages");
    std::string kids = "/Kids [ ";
    for (const TObjRef& page : pageRefs_) kids += std::to_string(page.num) + " " + std::to_string(page.gen) + " R ";
    Line(kids + "]");
    Line("/Count " + std::to_string(doc_.pageList.Count()));
    Line(">>");
    Line("endobj");
    EndObject();
}

void TPdfWriter::WriteContentStream(size_t i, TObjRef& ref) {
    if (ref.num < 0) ref = {Allocate(), 0};
    BeginObject(ref.num, ref.gen, true);
    // Decoded, rewritten and packed for this page alone, and dropped
    // before the next: the pages never hold their contents all at once.
    // The subsets learn from the same decoding which codes the page shows.
    const int32_t pageIndex = static_cast<int32_t>(i);
    TDecodedContentSink codes;
    if (replacementFonts_.WantsCodesOf(pageIndex))
        codes = [this, pageIndex](const std::vector<uint8_t>& decoded) {
            replacementFonts_.TakePageContent(pageIndex, decoded);
        };
    std::vector<uint8_t> content = RewrittenPageContent(doc_, pageIndex, replacements_[i], codes);
    uLongf packedSize = compressBound(static_cast<uLong>(content.size()));
    std::vector<Bytef> packed(packedSize);
    // Level 6, not 9: page contents come out within a thousandth of the
    // size (the same on the stress files) for three quarters of the time.
    if (compress2(packed.data(), &packedSize, content.data(), static_cast<uLong>(content.size()), 6) != Z_OK)
        packedSize = 0;
    content = {};
    Line(std::to_string(ref.num) + " " + std::to_string(ref.gen) + " obj");
    // The length counts the line feed after the data as well.
    Line("<< /Length " + std::to_string(packedSize + 1) + " /Filter /FlateDecode >>");
    out_->Write("stream\n", 7);
    out_->Write(packed.data(), packedSize);
    out_->Write("\n", 1);
    Line("endstream");
    Line("endobj");
}

void TPdfWriter::WritePage(size_t i) {
    const TPageRecord& page = doc_.pageList[i];
    pageIndex_ = static_cast<int32_t>(i);
    const bool rewritten = rewritten_[i];
    TObjRef& content = contentRefs_[i];
    if (rewritten) WriteContentStream(i, content);

    const TObjRef self = pageRefs_[i];
    BeginObject(self.num, self.gen);
    Line(std::to_string(self.num) + " " + std::to_string(self.gen) + " obj");
    Line("<<");
    const TDictEntry* ownAnnots = nullptr;
    for (const TDictEntry& entry : page.pageEntries)
        if (!entry.tokens.empty() && entry.tokens[0] == "/Annots") ownAnnots = &entry;
    // Annotations written directly into the array have no number the
    // annotation list could name: the array stays as the file has it.
    const bool annotsAsRead = ownAnnots && AnnotsHoldDictionaries(doc_, *ownAnnots);
    WritePageEntries(page, rewritten, annotsAsRead);
    if (rewritten) Line("/Contents " + std::to_string(content.num) + " " + std::to_string(content.gen) + " R");
    // A page without a box anywhere in its tree keeps the omission: each
    // reader then shows the saved page at the size it gave the original
    // (Poppler and MuPDF US Letter, Ghostscript its default paper).
    if (const TDictEntry* box = EffectiveEntry(page, "/MediaBox")) Line(JoinTokens(WrittenTokens(doc_, *box)));
    if (annotsAsRead) {
        if (doc_.pagesFound)
            Line("/Parent " + std::to_string(pagesRoot_.num) + " " + std::to_string(pagesRoot_.gen) + " R");
        Line(">>");
        Line("endobj");
        EndObject();
        return;
    }
    const int32_t annotsNum = Allocate();
    Line("/Annots " + std::to_string(annotsNum) + " 0 R");
    if (doc_.pagesFound)
        Line("/Parent " + std::to_string(pagesRoot_.num) + " " + std::to_string(pagesRoot_.gen) + " R");
    Line(">>");
    Line("endobj");
    EndObject();

    BeginObject(annotsNum, 0);
    Line(std::to_string(annotsNum) + " 0 obj");
    std::string array = "[ ";
    for (const TAnnotation& annot : page.annotations)
        array += std::to_string(annot.objNum) + " " + std::to_string(annot.gen) + " R ";
    Line(array + "]");
    Line("endobj");
    EndObject();
}

void TPdfWriter::WritePageEntries(const TPageRecord& page, bool rewritten, bool annotsAsRead) {
    for (const TDictEntry& entry : page.pageEntries) {
        if (entry.tokens.empty()) continue;
        const std::string& key = entry.tokens[0];
        if (key == "/Parent" || (key == "/Annots" && !annotsAsRead) || key == "/MediaBox" ||
            (key == "/Contents" && rewritten))
            continue;
        Line(key == "/Resources" ? ResourcesLine(page, entry) : JoinTokens(WrittenTokens(doc_, entry)));
    }
    if (!page.inherited) return;
    for (const std::string_view key : {"/Rotate", "/CropBox", "/Resources"}) {
        const TDictEntry* entry = EffectiveEntry(page, key);
        if (!entry || !IsInheritedEntry(page, *entry)) continue;
        Line(key == "/Resources" ? ResourcesLine(page, *entry) : JoinTokens(WrittenTokens(doc_, *entry)));
    }
}

std::string TPdfWriter::ResourcesLine(const TPageRecord& page, const TDictEntry& entry) {
    // A page that draws its own copy of a form names it in resources of its own.
    if (const auto redirect = forms_.pageRedirects.find(pageIndex_); redirect != forms_.pageRedirects.end())
        return "/Resources " +
               DirectResourcesText(RedirectedResourcesTokens(doc_, entry, redirect->second), page, fontRefList_,
                                                   addEmpty());
    if (page.resourcesForm != TValueForm::Direct) return JoinTokens(WrittenTokens(doc_, entry));
    if (const auto shared = sharedResources_.find(entry.valuePos);
        IsInheritedEntry(page, entry) && shared != sharedResources_.end())
        return "/Resources " + std::to_string(shared->second.num) + " 0 R";
    return "/Resources " + DirectResourcesText(WrittenTokens(doc_, entry), page, fontRefList_, addEmpty());
}

std::vector<int32_t> TPdfWriter::PageReferences(size_t i) {
    const TPageRecord& page = doc_.pageList[i];
    const TDictEntry* ownAnnots = nullptr;
    for (const TDictEntry& entry : page.pageEntries)
        if (!entry.tokens.empty() && entry.tokens[0] == "/Annots") ownAnnots = &entry;
    const bool annotsAsRead = ownAnnots && AnnotsHoldDictionaries(doc_, *ownAnnots);
    std::vector<int32_t> refs;
    for (const TDictEntry& entry : page.pageEntries) {
        if (entry.tokens.empty()) continue;
        const std::string& key = entry.tokens[0];
        if (key == "/Parent" || (key == "/Annots" && !annotsAsRead) || (key == "/Contents" && rewritten_[i]))
            continue;
        ReferencesIn(entry.tokens, refs);
    }
    for (const std::string_view key : {"/Rotate", "/CropBox", "/Resources", "/MediaBox"})
        if (const TDictEntry* entry = EffectiveEntry(page, key); entry && IsInheritedEntry(page, *entry))
            ReferencesIn(entry->tokens, refs);
    if (!annotsAsRead)
        for (const TAnnotation& annot : page.annotations) refs.push_back(annot.objNum);
    return refs;
}

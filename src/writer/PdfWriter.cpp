// The file writer: old objects copied byte for byte, added fonts, a new
// information dictionary, a flat page tree, every page object with its new
// content stream and annotation array, then the cross-reference table.
#include "PdfWriter_p.h"

TWriteReport TPdfWriter::Run(int32_t versionItem) {
    WriteHeader(versionItem);
    PlanAddedFonts();
    PlanNewObjects();
    if (compact_) PlanReachedObjects();
    CopyOldObjects();
    WriteFormRewrites();
    WriteSharedResources();
    WriteInfo();
    WriteCatalog();
    WritePagesRoot();
    for (size_t i = 0; i < doc_.pageList.data.size(); ++i) {
        WritePage(i);
        CopyPageObjects(i);
    }
    // After the pages, whose contents tell the subsets what they hold.
    WriteAddedFonts();
    WriteEncryptDict();
    report_.claimProblems = ClaimProblems(claims_, replacementFonts_.WrittenFonts());
    WriteXrefAndTrailer();
    // Sends the end of the file on.
    file_.Position();
    return report_;
}

void TPdfWriter::Line(const std::string& text) {
    out_->Write(text);
    out_->Write("\r", 1);
}

void TPdfWriter::Entry(int32_t num, int32_t gen, bool inUse) {
    *entries_.Append() = TXrefEntry{num, out_->Position(), gen, static_cast<uint8_t>(inUse)};
}

void TPdfWriter::BeginObject(int32_t num, int32_t gen, bool stream) {
    if (!compact_) {
        Entry(num, gen, true);
        return;
    }
    if (stream) {
        compact_->AtOffset(num, gen);
        return;
    }
    composing_ = {num, gen};
    scratch_.bytes.clear();
    out_ = &scratch_;
}

void TPdfWriter::EndObject() {
    if (out_ != &scratch_) return;
    out_ = &file_;
    compact_->Put(composing_.num, composing_.gen, scratch_.bytes);
}

TObjRef TPdfWriter::Claim(int32_t num, int32_t gen) {
    if (InRange(num) && !claimed_[static_cast<size_t>(num)]) {
        claimed_[static_cast<size_t>(num)] = 1;
        return {num, gen};
    }
    return {Allocate(), 0};
}

void TPdfWriter::WriteHeader(int32_t versionItem) {
    if (versionItem < 0 || versionItem >= static_cast<int32_t>(std::size(kVersionHeaders))) versionItem = 1;
    if (versionItem >= kFirstCompactItem) compact_.emplace(file_, [this] { return Allocate(); });
    // The layout stays the chosen one; only the header says what the
    // encryption needs.
    const int32_t needed = VersionItemForEncryption();
    if (needed > versionItem) {
        versionItem = needed;
        report_.raisedVersion = needed == kItem17 ? "1.7" : "1.6";
    }
    Line(kVersionHeaders[versionItem]);
    Line("%\xE2\xE3\xCF\xD3");
}

int32_t TPdfWriter::VersionItemForEncryption() const {
    if (!security_) return -1;
    const TEncryptParams& params = security_->Params();
    int32_t item = -1;
    for (const TCryptMethod method : {params.streamMethod, params.stringMethod, params.fileMethod}) {
        if (method == TCryptMethod::Aes256) item = kItem17;
        else if (method == TCryptMethod::Aes128) item = std::max(item, kItem16);
    }
    return item;
}

std::string TPdfWriter::CatalogExtensions() const {
    if (VersionItemForEncryption() != kItem17 || !doc_.rootFound || CatalogHasEntry(doc_, "/Extensions")) return {};
    return "/Extensions << /ADBE << /BaseVersion /1.7 /ExtensionLevel 3 >> >>";
}

void TPdfWriter::PlanEncryptDict() {
    if (!security_) return;
    encrypt_ = doc_.EncryptIsObject() && InRange(doc_.encryptObjNum) ? Claim(doc_.encryptObjNum, doc_.encryptGen)
                                                                     : TObjRef{Allocate(), 0};
    sink_.KeepPlain(encrypt_.num);
}

void TPdfWriter::WriteEncryptDict() {
    if (!security_) return;
    if (compact_) compact_->AtOffset(encrypt_.num, encrypt_.gen);
    else Entry(encrypt_.num, encrypt_.gen, true);
    Line(std::to_string(encrypt_.num) + " " + std::to_string(encrypt_.gen) + " obj");
    Line(doc_.EncryptDictText());
    Line("endobj");
}

std::string TPdfWriter::HexString(const std::string& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out = "<";
    for (const char ch : bytes) {
        const auto b = static_cast<uint8_t>(ch);
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out + ">";
}

void TPdfWriter::PlanAddedFonts() {
    fontRefList_ = replacementFonts_.Plan();
    for (int32_t i = 0; i < doc_.fontList.Count(); ++i) {
        const TFontRecord& font = doc_.fontList[static_cast<size_t>(i)];
        if (!font.hidden) continue;
        if (replacementFonts_.HasPairs(i)) {
            fontNums_.push_back(0);
            continue;
        }
        const int32_t num = Allocate();
        fontNums_.push_back(num);
        if (!fontRefList_.empty()) fontRefList_ += ' ';
        fontRefList_ += font.resName + " " + std::to_string(num) + " 0 R";
    }
}

void TPdfWriter::PlanNewObjects() {
    claimed_.assign(static_cast<size_t>(doc_.ObjCount() > 0 ? doc_.ObjCount() : 0), 0);
    for (int32_t num : replacementFonts_.TakenOverObjects())
        if (InRange(num)) claimed_[static_cast<size_t>(num)] = 1;
    PlanEncryptDict();
    // Pages the reader found by a scan have no tree of the file's: the
    // number the catalog names may be another object or none at all.
    if (doc_.pagesFound)
        pagesRoot_ = doc_.pagesFromScan ? TObjRef{Allocate(), 0} : Claim(doc_.pagesObjNum, doc_.pagesGen);
    writeInfo_ = WillWriteInfoObject(doc_, infoEdits_);
    if (writeInfo_) info_ = Claim(doc_.infoObjNum, doc_.infoGen);
    // One instant for the information and the metadata.
    if (writeInfo_) modDate_ = ModDateText(infoEdits_);
    PlanPageObjects();
    PlanSkippedObjects();
    PlanSharedObjects();
}

void TPdfWriter::PlanPageObjects() {
    const size_t pageCount = doc_.pageList.data.size();
    pageRefs_.resize(pageCount);
    rewritten_.assign(pageCount, 0);
    contentRefs_.resize(pageCount);
    for (size_t i = 0; i < pageCount; ++i) {
        const TPageRecord& page = doc_.pageList[i];
        pageRefs_[i] = Claim(page.objNum, page.gen);
        // A page without any content reference has no number for a new
        // stream; its old /Contents (none) stays as it is.
        rewritten_[i] = rewriteContents_ && PageContentIsRewritten(page) && !page.contentRefs.IsEmpty();
    }
    replacements_ = ReplacementsByPage(doc_);
    report_.keptPageFonts = FontsKeptOnCopiedPages(doc_, rewriteContents_);
    // A content stream shared by two rewritten pages: the second page
    // gets a fresh number when it is written (-1 marks that).
    for (size_t i = 0; i < pageCount; ++i) {
        if (!rewritten_[i]) continue;
        const TContentRef& first = doc_.pageList[i].contentRefs[0];
        if (InRange(first.objNum) && !claimed_[static_cast<size_t>(first.objNum)]) {
            claimed_[static_cast<size_t>(first.objNum)] = 1;
            contentRefs_[i] = {first.objNum, first.gen};
        } else {
            contentRefs_[i] = {-1, 0};
        }
    }
}

void TPdfWriter::PlanSkippedObjects() {
    // Old objects not copied: everything written anew, and every content
    // stream of a rewritten page (the later ones become free entries).
    // A stream that a page written with its old /Contents still uses is
    // copied all the same.
    skip_ = claimed_;
    // A linearized file's parameter dictionary and hint streams describe
    // the old file's layout; kept, they would make readers trust offsets
    // the new file does not have.
    for (int32_t num : LinearizationObjects(doc_))
        if (InRange(num)) skip_[static_cast<size_t>(num)] = 1;
    // A file written without its encryption drops the old dictionary.
    if (doc_.Security() && doc_.EncryptIsObject() && InRange(doc_.encryptObjNum))
        skip_[static_cast<size_t>(doc_.encryptObjNum)] = 1;
    catalogExtensions_ = CatalogExtensions();
    rewriteCatalog_ = (doc_.pagesFromScan || !catalogExtensions_.empty()) && doc_.rootFound && InRange(doc_.rootObjNum);
    if (rewriteCatalog_) skip_[static_cast<size_t>(doc_.rootObjNum)] = 1;
    if (writeInfo_) {
        metadata_.Plan(doc_, WrittenInfo(doc_, infoEdits_, modDate_));
        const int32_t num = metadata_.ObjNum();
        writeMetadata_ = InRange(num) && !claimed_[static_cast<size_t>(num)];
        if (writeMetadata_) skip_[static_cast<size_t>(num)] = 1;
        report_.metadata = metadata_.Outcome();
    }
    PlanConformance();
    std::vector<uint8_t> stillUsed(claimed_.size(), 0);
    for (size_t i = 0; i < doc_.pageList.data.size(); ++i) {
        for (const TContentRef& ref : doc_.pageList[i].contentRefs) {
            if (!InRange(ref.objNum)) continue;
            if (rewritten_[i]) skip_[static_cast<size_t>(ref.objNum)] = 1;
            else stillUsed[static_cast<size_t>(ref.objNum)] = 1;
        }
    }
    for (size_t num = 0; num < skip_.size(); ++num)
        if (stillUsed[num] && !claimed_[num]) skip_[num] = 0;
}

void TPdfWriter::PlanSharedObjects() {
    // Resources that pages inherit as a direct dictionary of a page-tree
    // node: the flat tree has no node for them, so they become one new
    // object that those pages share.
    for (const TPageRecord& page : doc_.pageList) {
        const TDictEntry* resources = EffectiveEntry(page, "/Resources");
        if (!resources || !IsInheritedEntry(page, *resources) || page.resourcesForm != TValueForm::Direct) continue;
        if (!sharedResources_.count(resources->valuePos))
            sharedResources_.emplace(resources->valuePos, TSharedResources{Allocate(), resources, &page});
    }
    insertions_ = BuildInsertions(doc_, fontRefList_, addEmpty());
    lost_.insert(doc_.lostObjects.begin(), doc_.lostObjects.end());
    // Forms rewritten in place, and annotations that name a copy of
    // their appearance, are written anew under their own numbers.
    forms_ = PlanFormRewrites(doc_, [this] { return Allocate(); });
    for (const TFormRewrite& rewrite : forms_.forms)
        if (rewrite.inPlace && InRange(rewrite.objNum)) skip_[static_cast<size_t>(rewrite.objNum)] = 1;
    for (const TAppearanceRedirect& redirect : forms_.appearances) {
        if (!InRange(redirect.annotObjNum) || skip_[static_cast<size_t>(redirect.annotObjNum)]) continue;
        skip_[static_cast<size_t>(redirect.annotObjNum)] = 1;
        appearanceRedirects_.push_back(redirect);
    }
    report_.keptFormFonts = forms_.keptFonts;
}

void TPdfWriter::PlanConformance() {
    claims_ = DocumentClaims(doc_);
    if (!claims_.pdfa.empty() || !claims_.pdfx.empty()) replacementFonts_.WatchConformance(claims_.pdfaPart == 1);
}

TTrailerRefs TPdfWriter::TrailerRefs() const {
    TTrailerRefs refs;
    if (writeInfo_) {
        refs.hasInfo = true;
        refs.infoObjNum = info_.num;
        refs.infoGen = info_.gen;
    } else if (doc_.infoFound && InRange(doc_.infoObjNum) && !claimed_[static_cast<size_t>(doc_.infoObjNum)]) {
        // The old information object could not be read; it was copied
        // as it was, and the trailer keeps pointing at it.
        refs.hasInfo = true;
        refs.infoObjNum = doc_.infoObjNum;
        refs.infoGen = doc_.infoGen;
    }
    if (doc_.rootFound && InRange(doc_.rootObjNum)) {
        refs.hasRoot = true;
        refs.rootObjNum = doc_.rootObjNum;
        refs.rootGen = doc_.rootGen;
    }
    if (!doc_.trailerId.tokens.empty()) refs.idEntry = JoinTokens(WrittenTokens(doc_, doc_.trailerId));
    else if (security_ && (!doc_.FileId(0).empty() || !doc_.FileId(1).empty()))
        refs.idEntry = "/ID [" + HexString(doc_.FileId(0)) + HexString(doc_.FileId(1)) + "]";
    if (security_)
        refs.encryptEntry = "/Encrypt " + std::to_string(encrypt_.num) + " " + std::to_string(encrypt_.gen) + " R";
    return refs;
}

void TPdfWriter::WriteXrefAndTrailer() {
    const TTrailerRefs refs = TrailerRefs();
    if (compact_) {
        TXrefStreamTrailer trailer;
        auto ref = [](int32_t num, int32_t gen) { return std::to_string(num) + " " + std::to_string(gen) + " R"; };
        if (refs.hasRoot) trailer.entries += "/Root " + ref(refs.rootObjNum, refs.rootGen);
        if (refs.hasInfo) trailer.entries += (refs.hasRoot ? " /Info " : "/Info ") + ref(refs.infoObjNum, refs.infoGen);
        if (!refs.idEntry.empty()) trailer.entries += (trailer.entries.empty() ? "" : " ") + refs.idEntry;
        if (!refs.encryptEntry.empty()) trailer.entries += (trailer.entries.empty() ? "" : " ") + refs.encryptEntry;
        compact_->Finish(trailer);
        return;
    }
    const int64_t xrefPos = out_->Position();
    // Object 0 heads the free list.
    *entries_.Append() = TXrefEntry{0, 0, 65535, 0};
    CompleteXrefTable(entries_);
    out_->Write(XrefTableText(entries_));
    out_->Write(TrailerText(entries_.Count(), refs, xrefPos));
}

void TPdfWriter::PlanReachedObjects() {
    const TFilePos savedPos = doc_.GetPos();
    const int32_t count = std::min<int32_t>(doc_.ObjCount(), static_cast<int32_t>(doc_.Table().size()));
    TReachRoots roots;
    roots.notRead.assign(static_cast<size_t>(count), 0);
    auto notRead = [&](int32_t num) {
        if (num >= 1 && num < count) roots.notRead[static_cast<size_t>(num)] = 1;
    };
    if (doc_.pagesFound && pagesRoot_.num == doc_.pagesObjNum) notRead(pagesRoot_.num);
    roots.pages.resize(doc_.pageList.data.size());
    for (size_t i = 0; i < roots.pages.size(); ++i) {
        const TPageRecord& page = doc_.pageList[i];
        if (pageRefs_[i].num == page.objNum) notRead(page.objNum);
        roots.pages[i] = PageReferences(i);
    }
    roots.document.push_back(doc_.rootObjNum);
    if (doc_.infoFound) roots.document.push_back(doc_.infoObjNum);
    for (const TFormRewrite& rewrite : forms_.forms)
        if (rewrite.formIndex >= 0 && static_cast<size_t>(rewrite.formIndex) < doc_.formCatalog.forms.size())
            roots.document.push_back(doc_.formCatalog.forms[static_cast<size_t>(rewrite.formIndex)].objNum);
    for (const TAppearanceRedirect& redirect : forms_.appearances) roots.document.push_back(redirect.originalObjNum);
    for (const int32_t num : replacementFonts_.TakenOverObjects()) roots.document.push_back(num);
    owners_ = ObjectOwners(count, roots, [this](int32_t num) { return OldObjectText(num); });
    pageObjects_.assign(roots.pages.size(), {});
    for (int32_t num = 1; num < count; ++num) {
        const int32_t owner = owners_[static_cast<size_t>(num)];
        if (owner >= 0) pageObjects_[static_cast<size_t>(owner)].push_back(num);
    }
    doc_.SetPos(savedPos);
}

std::vector<TKeptFormFont> FontsKeptOnCopiedPages(const TPdfDocument& doc, bool rewriteContents) {
    std::vector<TKeptFormFont> kept;
    const std::vector<TFontReplacements> byPage = ReplacementsByPage(doc);
    for (int32_t i = 0; i < doc.pageList.Count(); ++i) {
        const TPageRecord& page = doc.pageList[static_cast<size_t>(i)];
        if ((rewriteContents && PageContentIsRewritten(page)) || page.contentRefs.IsEmpty()) continue;
        // Only a replacement written under the old name reaches such a page.
        const size_t first = kept.size();
        for (const auto& [oldName, newName] : byPage[static_cast<size_t>(i)])
            if (newName != EscapeContentText(oldName)) kept.push_back({i, oldName});
        std::sort(kept.begin() + static_cast<std::ptrdiff_t>(first), kept.end(),
                  [](const TKeptFormFont& a, const TKeptFormFont& b) { return a.resName < b.resName; });
    }
    return kept;
}

TWriteReport WritePdf(TPdfDocument& doc, TByteSink& out, int32_t versionItem, const TWriteOptions& options) {
    return TPdfWriter(doc, out, options).Run(versionItem);
}

std::string WritePdfToMemory(TPdfDocument& doc, int32_t versionItem) {
    TStringSink sink;
    WritePdf(doc, sink, versionItem);
    return std::move(sink.bytes);
}

TWriteOutcome WritePdfFile(TPdfDocument& doc, const std::string& path, int32_t versionItem,
                           const TWriteOptions& options) {
    TSafeOutputFile file;
    if (!file.Open(path)) return {TWriteResult::CreateFailed, file.ErrorText(), {}};
    const TWriteReport report = WritePdf(doc, file, versionItem, options);
    if (!file.Commit()) return {TWriteResult::WriteFailed, file.ErrorText(), {}};
    return {TWriteResult::Written, {}, report};
}


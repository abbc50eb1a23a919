// The file writer: old objects copied byte for byte, added fonts, a new
// information dictionary, a flat page tree, every page object with its new
// content stream and annotation array, then the cross-reference table.
#include "PdfWriter.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <iterator>
#include <optional>
#include <unordered_set>
#include <vector>

#include "CompactObjects.h"
#include "ContentRewrite.h"
#include "EncryptingSink.h"
#include "FormRewrite.h"
#include "InfoObject.h"
#include "PdfText.h"
#include "ReachableObjects.h"
#include "ReplacementFonts.h"
#include "WriterParts_p.h"
#include "XrefTable.h"

namespace {

const char* const kVersionHeaders[] = {"%PDF-1.2", "%PDF-1.3", "%PDF-1.4", "%PDF-1.5", "%PDF-1.6", "%PDF-1.7"};
// From this item on, the file is written in the compact form.
constexpr int32_t kFirstCompactItem = 3;
constexpr int32_t kItem16 = 4;
constexpr int32_t kItem17 = 5;

struct TObjRef {
    int32_t num = 0;
    int32_t gen = 0;
};

class TPdfWriter {
public:
    TPdfWriter(TPdfDocument& doc, TByteSink& out, const TWriteOptions& options)
        : doc_(doc),
          infoEdits_(options.info ? *options.info : UneditedInfo(doc.info)),
          rewriteContents_(options.rewriteContents),
          security_(options.decrypt ? nullptr : doc.Security()),
          sink_(out, security_, -1),
          file_(sink_),
          out_(&sink_),
          counter_(doc.ObjCount() - 1) {}

    TWriteReport Run(int32_t versionItem) {
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

private:
    int32_t Allocate() { return ++counter_; }
    void Line(const std::string& text) {
        out_->Write(text);
        out_->Write("\r", 1);
    }
    void Entry(int32_t num, int32_t gen, bool inUse) {
        *entries_.Append() = TXrefEntry{num, out_->Position(), gen, static_cast<uint8_t>(inUse)};
    }
    bool InRange(int32_t num) const { return num >= 1 && num < doc_.ObjCount(); }

    // Every object the writer writes goes between these two. The classic
    // table takes its position now; the compact form composes the object's
    // text and hands it over at the end, unless it is a stream (`stream`),
    // which goes straight to the file.
    void BeginObject(int32_t num, int32_t gen, bool stream = false) {
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
    void EndObject() {
        if (out_ != &scratch_) return;
        out_ = &file_;
        compact_->Put(composing_.num, composing_.gen, scratch_.bytes);
    }

    // An object the writer writes anew keeps its old number unless that
    // number lies outside the old table or was already given to another new
    // object (a broken file listing one page twice, say); then it gets a
    // fresh number, so the table never holds a number twice.
    TObjRef Claim(int32_t num, int32_t gen) {
        if (InRange(num) && !claimed_[static_cast<size_t>(num)]) {
            claimed_[static_cast<size_t>(num)] = 1;
            return {num, gen};
        }
        return {Allocate(), 0};
    }

    void WriteHeader(int32_t versionItem) {
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

    // AES needs a newer header than the older choices: 1.6 for AES-128,
    // 1.7 for AES-256 (with the extension the catalog names, see
    // CatalogExtensions).
    int32_t VersionItemForEncryption() const {
        if (!security_) return -1;
        const TEncryptParams& params = security_->Params();
        int32_t item = -1;
        for (const TCryptMethod method : {params.streamMethod, params.stringMethod, params.fileMethod}) {
            if (method == TCryptMethod::Aes256) item = kItem17;
            else if (method == TCryptMethod::Aes128) item = std::max(item, kItem16);
        }
        return item;
    }

    // The /Extensions entry a catalog without one gets for AES-256; empty
    // when it needs none.
    std::string CatalogExtensions() const {
        if (VersionItemForEncryption() != kItem17 || !doc_.rootFound || CatalogHasEntry(doc_, "/Extensions")) return {};
        return "/Extensions << /ADBE << /BaseVersion /1.7 /ExtensionLevel 3 >> >>";
    }

    // The /Encrypt dictionary keeps its number where it had one. It is
    // written as it was read, never packed into an object stream: a reader
    // needs it before it can unpack any.
    void PlanEncryptDict() {
        if (!security_) return;
        encrypt_ = doc_.EncryptIsObject() && InRange(doc_.encryptObjNum) ? Claim(doc_.encryptObjNum, doc_.encryptGen)
                                                                         : TObjRef{Allocate(), 0};
        sink_.KeepPlain(encrypt_.num);
    }

    void WriteEncryptDict() {
        if (!security_) return;
        if (compact_) compact_->AtOffset(encrypt_.num, encrypt_.gen);
        else Entry(encrypt_.num, encrypt_.gen, true);
        Line(std::to_string(encrypt_.num) + " " + std::to_string(encrypt_.gen) + " obj");
        Line(doc_.EncryptDictText());
        Line("endobj");
    }

    static std::string HexString(const std::string& bytes) {
        static const char kDigits[] = "0123456789ABCDEF";
        std::string out = "<";
        for (const char ch : bytes) {
            const auto b = static_cast<uint8_t>(ch);
            out += kDigits[b >> 4];
            out += kDigits[b & 15];
        }
        return out + ">";
    }

    // The added fonts take the first numbers after the old table; the list
    // of their references is spliced into every page's font resources. An
    // added font that replaces fonts is written as one dictionary per
    // replaced font instead of its plain one.
    void PlanAddedFonts() {
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

    // Numbers of the objects written anew, and the old objects not copied.
    void PlanNewObjects() {
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
        for (size_t i = 0; i < pageCount; ++i) {
            for (const TContentRef& ref : doc_.pageList[i].contentRefs) {
                if (!InRange(ref.objNum)) continue;
                if (rewritten_[i]) skip_[static_cast<size_t>(ref.objNum)] = 1;
                else stillUsed[static_cast<size_t>(ref.objNum)] = 1;
            }
        }
        for (size_t num = 0; num < skip_.size(); ++num)
            if (stillUsed[num] && !claimed_[num]) skip_[num] = 0;
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

    void WriteFormRewrites() {
        const TFilePos savedPos = doc_.GetPos();
        // Each was read once already when planned; should it fail now, its
        // number still needs an object.
        for (const TFormRewrite& rewrite : forms_.forms)
            WriteOrNull(rewrite.objNum, rewrite.gen, RewrittenFormObject(doc_, rewrite, fontRefList_));
        for (const TAppearanceRedirect& redirect : appearanceRedirects_)
            WriteOrNull(redirect.annotObjNum, redirect.annotGen, RedirectedAnnotationObject(doc_, redirect));
        doc_.SetPos(savedPos);
    }

    void WriteOrNull(int32_t num, int32_t gen, const std::string& text) {
        BeginObject(num, gen);
        out_->Write(text.empty() ? std::to_string(num) + " " + std::to_string(gen) + " obj null endobj\r" : text);
        EndObject();
    }

    // Where object `num`'s bytes stand: at its table offset when "N G obj"
    // stands there for it, else where the reader's scan of the file found it.
    std::optional<TFilePos> ObjectOffset(int32_t num, const TObjEntry& old) const {
        if (HoldsObject(doc_, old.offset, num)) return old.offset;
        const auto scanned = doc_.scannedOffsets.find(num);
        if (scanned != doc_.scannedOffsets.end() && HoldsObject(doc_, scanned->second, num)) return scanned->second;
        return std::nullopt;
    }

    // The classic form copies every old object in use; the compact form
    // copies here those the document needs apart from any page, and each
    // page's own after the page (CopyPageObjects).
    void CopyOldObjects() {
        const TFilePos savedPos = doc_.GetPos();
        const int32_t count = std::min<int32_t>(doc_.ObjCount(), static_cast<int32_t>(doc_.Table().size()));
        for (int32_t i = 1; i < count; ++i)
            if (!compact_ || owners_[static_cast<size_t>(i)] == kDocumentLevel) CopyOldObject(i);
        copied_.Flush(doc_);
        doc_.SetPos(savedPos);
    }

    void CopyPageObjects(size_t page) {
        if (!compact_ || page >= pageObjects_.size()) return;
        const TFilePos savedPos = doc_.GetPos();
        for (const int32_t num : pageObjects_[page]) CopyOldObject(num);
        pageObjects_[page] = {};
        copied_.Flush(doc_);
        doc_.SetPos(savedPos);
    }

    void CopyOldObject(int32_t i) {
        if (i >= static_cast<int32_t>(doc_.Table().size()) || skip_[static_cast<size_t>(i)]) return;
        const TObjEntry& old = doc_.Table()[static_cast<size_t>(i)];
        // Cross-reference and object streams describe the old file's
        // layout; the file written gets its own table. An object the repair
        // of the table lost stays a number the file refers to.
        const bool lost = lost_.count(i) > 0;
        const bool copied = (old.inUse && !old.structural) || lost;
        if (!copied) {
            if (!compact_) Entry(i, old.generation, false);
            return;
        }
        const std::optional<TFilePos> offset = lost ? std::nullopt : ObjectOffset(i, old);
        const std::optional<TFilePos> end = offset ? OldObjectEnd(doc_, *offset) : std::nullopt;
        if (!end) {
            // Whatever stands at the offset belongs to something else (the
            // file header, another object), or the object has no end:
            // copied, it would damage the file.
            BeginObject(i, old.generation);
            Line(std::to_string(i) + " " + std::to_string(old.generation) + " obj null endobj");
            EndObject();
            ++report_.missingObjects;
            return;
        }
        BeginObject(i, old.generation, compact_ && IsOldStream(*offset, *end));
        CopyWithInsertions(doc_, *offset, *end, insertions_, *out_);
        out_->Write("\r", 1);
        EndObject();
        copied_.Add(doc_, *offset, *end);
    }

    // The old objects are copied once, mostly in the order the file holds
    // them: the mapped pages behind them are handed back in large runs, so
    // that saving a file does not keep all of it resident (one release per
    // object would cost more than the copying).
    class TCopiedRun {
    public:
        void Add(const TPdfDocument& doc, TFilePos start, TFilePos end) {
            if (start < end_ || start > end_ + kMaxGap) {
                Flush(doc);
                start_ = start;
            }
            end_ = end;
            if (end_ - start_ >= kRunBytes) Flush(doc);
        }
        void Flush(const TPdfDocument& doc) {
            if (end_ > start_) doc.ReleaseBytes(start_, end_);
            start_ = end_;
        }

    private:
        static constexpr TFilePos kMaxGap = 64;  // the line ends between two objects
        static constexpr TFilePos kRunBytes = 4 << 20;
        TFilePos start_ = 0;
        TFilePos end_ = 0;
    };
    TCopiedRun copied_;

    void WriteAddedFonts() {
        replacementFonts_.Write([this](int32_t num, const std::string& text) {
            if (compact_) return compact_->Put(num, 0, text);
            Entry(num, 0, true);
            out_->Write(text);
        });
        size_t k = 0;
        for (const TFontRecord& font : doc_.fontList) {
            if (!font.hidden) continue;
            const int32_t num = fontNums_[k++];
            if (num == 0) continue;
            BeginObject(num, 0);
            Line(std::to_string(num) + " 0 obj");
            Line("<<");
            Line("/Type /Font");
            // Named only: a face with CFF outlines is a Type 1 font.
            const auto info = ReadFontProgramInfo(font.fontFile, font.fontFaceIndex);
            Line(info && info->outlines == TOutlineKind::Cff ? "/Subtype /Type1" : "/Subtype /TrueType");
            Line("/Name " + font.resName);
            Line("/Encoding /WinAnsiEncoding");
            Line("/BaseFont " + font.baseFontName);
            Line(font.fontDictExtra);
            Line(">>");
            Line("endobj");
            EndObject();
        }
    }

    void WriteSharedResources() {
        for (const auto& [pos, shared] : sharedResources_) {
            BeginObject(shared.num, 0);
            Line(std::to_string(shared.num) + " 0 obj");
            Line(DirectResourcesText(WrittenTokens(doc_, *shared.entry), *shared.firstPage, fontRefList_, addEmpty()));
            Line("endobj");
            EndObject();
        }
    }

    void WriteInfo() {
        if (!writeInfo_) return;
        BeginObject(info_.num, info_.gen);
        out_->Write(InfoObjectText(doc_, infoEdits_, info_.num, info_.gen, modDate_));
        EndObject();
        if (writeMetadata_) WriteOrNull(metadata_.ObjNum(), metadata_.Gen(), metadata_.ObjectText(doc_));
    }

    // A file that claims PDF/A or PDF/X: the fonts the save puts in are
    // checked against the claim, and for PDF/A-1 their descriptors list the
    // subsets' glyphs.
    void PlanConformance() {
        claims_ = DocumentClaims(doc_);
        if (!claims_.pdfa.empty() || !claims_.pdfx.empty()) replacementFonts_.WatchConformance(claims_.pdfaPart == 1);
    }

    // The catalog as read, naming the page tree written for pages the reader
    // found by a scan, and the extension AES-256 needs.
    void WriteCatalog() {
        if (!rewriteCatalog_) return;
        std::string pages;
        if (doc_.pagesFromScan && doc_.pagesFound)
            pages = std::to_string(pagesRoot_.num) + " " + std::to_string(pagesRoot_.gen) + " R";
        const TFilePos savedPos = doc_.GetPos();
        WriteOrNull(doc_.rootObjNum, doc_.rootGen, CatalogObjectText(doc_, pages, catalogExtensions_));
        doc_.SetPos(savedPos);
    }

    void WritePagesRoot() {
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

    void WriteContentStream(size_t i, TObjRef& ref) {
        TPageRecord& page = doc_.pageList[i];
        if (ref.num < 0) ref = {Allocate(), 0};
        page.newContentPos = out_->Position();
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

    void WritePage(size_t i) {
        TPageRecord& page = doc_.pageList[i];
        pageIndex_ = static_cast<int32_t>(i);
        const bool rewritten = rewritten_[i];
        TObjRef& content = contentRefs_[i];
        if (rewritten) WriteContentStream(i, content);

        page.newObjPos = out_->Position();
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

    // The page's own entries as read, then what it inherited from the tree
    // that the flat tree no longer gives it. The writer adds /Contents,
    // /MediaBox (from the page or the tree), /Parent and (unless kept as
    // read) /Annots itself.
    void WritePageEntries(const TPageRecord& page, bool rewritten, bool annotsAsRead) {
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

    std::string ResourcesLine(const TPageRecord& page, const TDictEntry& entry) {
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

    TTrailerRefs TrailerRefs() const {
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

    void WriteXrefAndTrailer() {
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

    // Which old objects the compact form copies, and where: the reached
    // ones, each behind the first page that reaches it, the others at the
    // start. The page tree's old nodes and whatever nothing refers to any
    // more are left out.
    void PlanReachedObjects() {
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

    // What page i written anew refers to: its own entries but the ones the
    // writer replaces, what it inherits, and its annotations.
    std::vector<int32_t> PageReferences(size_t i) {
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

    // The old bytes of object num from its "N G obj" on (empty when there are none).
    std::string_view OldObjectText(int32_t num) const {
        if (num >= static_cast<int32_t>(doc_.Table().size())) return {};
        const TObjEntry& old = doc_.Table()[static_cast<size_t>(num)];
        if (!old.inUse || old.structural) return {};
        const std::optional<TFilePos> offset = ObjectOffset(num, old);
        if (!offset) return {};
        const TByteSpan span = doc_.SpanAt(*offset);
        return span.View(*offset, span.end - *offset);
    }

    bool addEmpty() const { return !compact_; }

    // Whether the old object at [start, end) is a stream, which goes to the
    // file as it stands.
    bool IsOldStream(TFilePos start, TFilePos end) const {
        if (EndsAsStream(doc_, end)) return true;
        const TByteSpan span = doc_.SpanAt(start);
        return IsStreamText(span.View(start, end - start));
    }

    TPdfDocument& doc_;
    const TInfoEdits infoEdits_;
    const bool rewriteContents_;
    const TSecurityHandler* security_;
    // Enciphers what reaches the file, object by object (passes it through
    // for a file written without encryption).
    TEncryptingSink sink_;
    TByteSink& file_;
    // Where objects are written: the file, or (compact form) the text of
    // the object being composed.
    TByteSink* out_;
    int32_t counter_;
    TXrefEntry* curEntry_ = nullptr;
    TXrefList entries_{&curEntry_};
    std::string fontRefList_;
    std::vector<int32_t> fontNums_;
    std::vector<uint8_t> claimed_;
    std::vector<uint8_t> skip_;
    TObjRef pagesRoot_;
    bool writeInfo_ = false;
    bool rewriteCatalog_ = false;
    std::string catalogExtensions_;
    TObjRef encrypt_;
    std::string modDate_;
    TMetadataPlan metadata_;
    bool writeMetadata_ = false;
    TXmpClaims claims_;
    TObjRef info_;
    std::vector<TObjRef> pageRefs_;
    std::vector<uint8_t> rewritten_;
    std::vector<TObjRef> contentRefs_;
    std::vector<TFontReplacements> replacements_;  // by page
    TInsertionMap insertions_;
    struct TSharedResources {
        int32_t num = 0;
        const TDictEntry* entry = nullptr;
        const TPageRecord* firstPage = nullptr;  // the pages share its /Font and /XObject forms
    };
    std::map<TFilePos, TSharedResources> sharedResources_;  // by the position of the dictionary's value
    std::unordered_set<int32_t> lost_;
    TFormPlan forms_;
    std::vector<TAppearanceRedirect> appearanceRedirects_;  // those whose annotation object is written anew
    int32_t pageIndex_ = -1;  // the page being written
    TWriteReport report_;
    std::optional<TCompactObjects> compact_;
    TStringSink scratch_;  // the object being composed (compact form)
    TObjRef composing_;
    std::vector<int32_t> owners_;                  // by old object number (see ObjectOwners)
    std::vector<std::vector<int32_t>> pageObjects_;  // by page: the old objects it owns
    TReplacementFontWriter replacementFonts_{doc_, [this] { return Allocate(); }};
};

}  // namespace

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


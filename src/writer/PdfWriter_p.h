// The writer of one file (see WritePdf): its plan, the copy of the old
// objects, the pages and the trailer, in PdfWriter.cpp, PdfWriterObjects.cpp
// and PdfWriterPages.cpp.
#pragma once

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

#include "PdfWriter.h"

inline constexpr const char* kVersionHeaders[] = {"%PDF-1.2", "%PDF-1.3", "%PDF-1.4", "%PDF-1.5", "%PDF-1.6", "%PDF-1.7"};
// From this item on, the file is written in the compact form.
inline constexpr int32_t kFirstCompactItem = 3;
inline constexpr int32_t kItem16 = 4;
inline constexpr int32_t kItem17 = 5;

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

    TWriteReport Run(int32_t versionItem);

private:
    int32_t Allocate() { return ++counter_; }
    void Line(const std::string& text);
    void Entry(int32_t num, int32_t gen, bool inUse);
    bool InRange(int32_t num) const { return num >= 1 && num < doc_.ObjCount(); }

    // Every object the writer writes goes between these two. The classic
    // table takes its position now; the compact form composes the object's
    // text and hands it over at the end, unless it is a stream (`stream`),
    // which goes straight to the file.
    void BeginObject(int32_t num, int32_t gen, bool stream = false);
    void EndObject();

    // An object the writer writes anew keeps its old number unless that
    // number lies outside the old table or was already given to another new
    // object (a broken file listing one page twice, say); then it gets a
    // fresh number, so the table never holds a number twice.
    TObjRef Claim(int32_t num, int32_t gen);

    void WriteHeader(int32_t versionItem);

    // AES needs a newer header than the older choices: 1.6 for AES-128,
    // 1.7 for AES-256 (with the extension the catalog names, see
    // CatalogExtensions).
    int32_t VersionItemForEncryption() const;

    // The /Extensions entry a catalog without one gets for AES-256; empty
    // when it needs none.
    std::string CatalogExtensions() const;

    // The /Encrypt dictionary keeps its number where it had one. It is
    // written as it was read, never packed into an object stream: a reader
    // needs it before it can unpack any.
    void PlanEncryptDict();

    void WriteEncryptDict();

    static std::string HexString(const std::string& bytes);

    // The added fonts take the first numbers after the old table; the list
    // of their references is spliced into every page's font resources. An
    // added font that replaces fonts is written as one dictionary per
    // replaced font instead of its plain one.
    void PlanAddedFonts();

    // Numbers of the objects written anew, and the old objects not copied.
    void PlanNewObjects();
    // Each page's number and its content stream's, and which pages get new
    // content.
    void PlanPageObjects();
    void PlanSkippedObjects();
    // Resources pages share from a node of the old tree, and the forms and
    // annotations written anew.
    void PlanSharedObjects();

    void WriteFormRewrites();

    void WriteOrNull(int32_t num, int32_t gen, const std::string& text);

    // Where object `num`'s bytes stand: at its table offset when "N G obj"
    // stands there for it, else where the reader's scan of the file found it.
    std::optional<TFilePos> ObjectOffset(int32_t num, const TObjEntry& old) const;

    // The classic form copies every old object in use; the compact form
    // copies here those the document needs apart from any page, and each
    // page's own after the page (CopyPageObjects).
    void CopyOldObjects();

    void CopyPageObjects(size_t page);

    void CopyOldObject(int32_t i);

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

    void WriteAddedFonts();

    void WriteSharedResources();

    void WriteInfo();

    // A file that claims PDF/A or PDF/X: the fonts the save puts in are
    // checked against the claim, and for PDF/A-1 their descriptors list the
    // subsets' glyphs.
    void PlanConformance();

    // The catalog as read, naming the page tree written for pages the reader
    // found by a scan, and the extension AES-256 needs.
    void WriteCatalog();

    void WritePagesRoot();

    void WriteContentStream(size_t i, TObjRef& ref);

    void WritePage(size_t i);

    // The page's own entries as read, then what it inherited from the tree
    // that the flat tree no longer gives it. The writer adds /Contents,
    // /MediaBox (from the page or the tree), /Parent and (unless kept as
    // read) /Annots itself.
    void WritePageEntries(const TPageRecord& page, bool rewritten, bool annotsAsRead);

    std::string ResourcesLine(const TPageRecord& page, const TDictEntry& entry);

    TTrailerRefs TrailerRefs() const;

    void WriteXrefAndTrailer();

    // Which old objects the compact form copies, and where: the reached
    // ones, each behind the first page that reaches it, the others at the
    // start. The page tree's old nodes and whatever nothing refers to any
    // more are left out.
    void PlanReachedObjects();

    // What page i written anew refers to: its own entries but the ones the
    // writer replaces, what it inherits, and its annotations.
    std::vector<int32_t> PageReferences(size_t i);

    // The old bytes of object num from its "N G obj" on (empty when there are none).
    std::string_view OldObjectText(int32_t num) const;

    bool addEmpty() const { return !compact_; }

    // Whether the old object at [start, end) is a stream, which goes to the
    // file as it stands.
    bool IsOldStream(TFilePos start, TFilePos end) const;

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

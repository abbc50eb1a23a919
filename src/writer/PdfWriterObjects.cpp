// The writer's copy of the old objects, byte for byte, and the objects it
// writes in their place: forms, shared resources, information, catalog,
// added fonts.
#include "PdfWriter_p.h"

void TPdfWriter::WriteFormRewrites() {
    const TFilePos savedPos = doc_.GetPos();
    // Each was read once already when planned; should it fail now, its
    // number still needs an object.
    for (const TFormRewrite& rewrite : forms_.forms)
        WriteOrNull(rewrite.objNum, rewrite.gen, RewrittenFormObject(doc_, rewrite, fontRefList_));
    for (const TAppearanceRedirect& redirect : appearanceRedirects_)
        WriteOrNull(redirect.annotObjNum, redirect.annotGen, RedirectedAnnotationObject(doc_, redirect));
    doc_.SetPos(savedPos);
}

void TPdfWriter::WriteOrNull(int32_t num, int32_t gen, const std::string& text) {
    BeginObject(num, gen);
    out_->Write(text.empty() ? std::to_string(num) + " " + std::to_string(gen) + " obj null endobj\r" : text);
    EndObject();
}

std::optional<TFilePos> TPdfWriter::ObjectOffset(int32_t num, const TObjEntry& old) const {
    if (HoldsObject(doc_, old.offset, num)) return old.offset;
    const auto scanned = doc_.scannedOffsets.find(num);
    if (scanned != doc_.scannedOffsets.end() && HoldsObject(doc_, scanned->second, num)) return scanned->second;
    return std::nullopt;
}

void TPdfWriter::CopyOldObjects() {
    const TFilePos savedPos = doc_.GetPos();
    const int32_t count = std::min<int32_t>(doc_.ObjCount(), static_cast<int32_t>(doc_.Table().size()));
    for (int32_t i = 1; i < count; ++i)
        if (!compact_ || owners_[static_cast<size_t>(i)] == kDocumentLevel) CopyOldObject(i);
    copied_.Flush(doc_);
    doc_.SetPos(savedPos);
}

void TPdfWriter::CopyOldObject(int32_t i) {
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

void TPdfWriter::WriteAddedFonts() {
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

void TPdfWriter::WriteSharedResources() {
    for (const auto& [pos, shared] : sharedResources_) {
        BeginObject(shared.num, 0);
        Line(std::to_string(shared.num) + " 0 obj");
        Line(DirectResourcesText(WrittenTokens(doc_, *shared.entry), *shared.firstPage, fontRefList_, addEmpty()));
        Line("endobj");
        EndObject();
    }
}

void TPdfWriter::WriteInfo() {
    if (!writeInfo_) return;
    BeginObject(info_.num, info_.gen);
    out_->Write(InfoObjectText(doc_, infoEdits_, info_.num, info_.gen, modDate_));
    EndObject();
    if (writeMetadata_) WriteOrNull(metadata_.ObjNum(), metadata_.Gen(), metadata_.ObjectText(doc_));
}

void TPdfWriter::WriteCatalog() {
    if (!rewriteCatalog_) return;
    std::string pages;
    if (doc_.pagesFromScan && doc_.pagesFound)
        pages = std::to_string(pagesRoot_.num) + " " + std::to_string(pagesRoot_.gen) + " R";
    const TFilePos savedPos = doc_.GetPos();
    WriteOrNull(doc_.rootObjNum, doc_.rootGen, CatalogObjectText(doc_, pages, catalogExtensions_));
    doc_.SetPos(savedPos);
}

std::string_view TPdfWriter::OldObjectText(int32_t num) const {
    if (num >= static_cast<int32_t>(doc_.Table().size())) return {};
    const TObjEntry& old = doc_.Table()[static_cast<size_t>(num)];
    if (!old.inUse || old.structural) return {};
    const std::optional<TFilePos> offset = ObjectOffset(num, old);
    if (!offset) return {};
    const TByteSpan span = doc_.SpanAt(*offset);
    return span.View(*offset, span.end - *offset);
}

bool TPdfWriter::IsOldStream(TFilePos start, TFilePos end) const {
    if (EndsAsStream(doc_, end)) return true;
    const TByteSpan span = doc_.SpanAt(start);
    return IsStreamText(span.View(start, end - start));
}

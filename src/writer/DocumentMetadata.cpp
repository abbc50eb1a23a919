#include "DocumentMetadata.h"

#include "WriterParts_p.h"

namespace {

// The catalog's /Metadata reference, when it has one.
std::optional<std::pair<int32_t, int32_t>> MetadataRef(TPdfDocument& doc) {
    if (!doc.rootFound || !doc.FetchObject(doc.rootObjNum)) return std::nullopt;
    const TDictEntryList catalog = EntriesAt(doc, doc.GetPos());
    const TDictEntry* entry = EntryWithKey(catalog, "/Metadata");
    if (!entry || entry->tokens.size() < 4 || entry->tokens[3] != "R") return std::nullopt;
    const auto num = TryStrToInt(entry->tokens[1]);
    const auto gen = TryStrToInt(entry->tokens[2]);
    if (!num || !gen || *num < 1 || *num >= doc.ObjCount()) return std::nullopt;
    return std::make_pair(*num, *gen);
}

TXmpText XmpTextOf(const TWrittenInfo::TText& text) {
    if (text.written) return text.value;
    if (text.hadKey) return TXmpText::Removed();
    return {};
}

TXmpText XmpDateOf(const std::string& pdfDate) {
    if (const auto date = XmpDateFromPdfDate(pdfDate)) return *date;
    return {};
}

}  // namespace

const TDictEntry* EntryWithKey(const TDictEntryList& entries, const std::string& key) {
    for (const TDictEntry& entry : entries)
        if (entry.tokens.size() >= 2 && entry.tokens[0] == key) return &entry;
    return nullptr;
}

std::optional<TMetadataStream> CatalogMetadata(TPdfDocument& doc) {
    const auto ref = MetadataRef(doc);
    if (!ref || !doc.ObjectPos(ref->first)) return std::nullopt;
    TMetadataStream stream;
    stream.objNum = ref->first;
    stream.gen = ref->second;
    // The stream decoder reports on the document's parse state; a metadata
    // stream it cannot read must not mark the open document.
    std::vector<uint8_t> data;
    {
        TKeptParseState kept(doc);
        stream.decoded = doc.DecodedStream(ref->first, data);
        stream.entries = doc.TakeDictEntries();
    }
    stream.packet.assign(data.begin(), data.end());
    return stream;
}

TXmpInfoProperties XmpPropertiesOf(const TWrittenInfo& info) {
    TXmpInfoProperties properties;
    properties.title = XmpTextOf(info.title);
    properties.author = XmpTextOf(info.author);
    properties.subject = XmpTextOf(info.subject);
    properties.keywords = XmpTextOf(info.keywords);
    properties.producer = XmpTextOf(info.producer);
    properties.creatorTool = XmpTextOf(info.creator);
    properties.createDate = XmpDateOf(info.creationDate);
    properties.modifyDate = XmpDateOf(info.modDate);
    properties.metadataDate = properties.modifyDate;
    return properties;
}

std::string MetadataObjectText(TPdfDocument& doc, const TMetadataStream& stream, const std::string& packet) {
    std::string text = std::to_string(stream.objNum) + " " + std::to_string(stream.gen) + " obj\r<<\r";
    for (const TDictEntry& entry : stream.entries) {
        if (entry.tokens.empty()) continue;
        const std::string& key = entry.tokens[0];
        if (key == "/Length" || key == "/Filter" || key == "/DecodeParms" || key == "/DL") continue;
        text += JoinTokens(WrittenTokens(doc, entry)) + "\r";
    }
    text += "/Length " + std::to_string(packet.size()) + "\r>>\rstream\r\n";
    return text + packet + "\r\nendstream\rendobj\r";
}

void TMetadataPlan::Plan(TPdfDocument& doc, const TWrittenInfo& info) {
    const TFilePos savedPos = doc.GetPos();
    stream_ = CatalogMetadata(doc);
    doc.SetPos(savedPos);
    if (!stream_) return;
    std::optional<std::string> packet;
    if (stream_->decoded) packet = UpdatedXmpPacket(stream_->packet, XmpPropertiesOf(info));
    if (!packet) {
        // Copied as it stands: better a stale packet than a lost one.
        stream_.reset();
        outcome_ = TMetadataOutcome::Unreadable;
        return;
    }
    packet_ = std::move(*packet);
    stream_->packet.clear();
    outcome_ = TMetadataOutcome::Updated;
}

std::string TMetadataPlan::ObjectText(TPdfDocument& doc) const {
    if (!stream_) return {};
    return MetadataObjectText(doc, *stream_, packet_);
}

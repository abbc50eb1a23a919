// The document's XMP metadata (the catalog's /Metadata stream) and the
// packet a written file gets, in step with its information dictionary.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "InfoObject.h"
#include "PdfDocument.h"
#include "XmpPacket.h"

// The catalog's metadata stream as read.
struct TMetadataStream {
    int32_t objNum = 0;
    int32_t gen = 0;
    TDictEntryList entries{nullptr};  // the stream dictionary's
    std::string packet;               // decoded
    bool decoded = false;             // false: a filter the reader cannot undo, or damaged data
};
// Nothing when the catalog names no metadata stream or it cannot be
// fetched. Moves the document's cursor.
std::optional<TMetadataStream> CatalogMetadata(TPdfDocument& doc);

// The XMP properties that say what the written information dictionary
// says, an empty text too. A text the old dictionary had and the new one
// drops is removed; a text neither has, or a date that is no date, leaves
// the packet's own.
TXmpInfoProperties XmpPropertiesOf(const TWrittenInfo& info);

// The stream object ("N G obj" ... "endobj") that holds `packet`: the old
// dictionary's entries without its length and filters, the packet
// unfiltered (PDF/A forbids filters on it). Moves the document's cursor.
std::string MetadataObjectText(TPdfDocument& doc, const TMetadataStream& stream, const std::string& packet);

// What became of the document's XMP metadata.
enum class TMetadataOutcome {
    None,        // no metadata stream, or no information written with it
    Updated,     // written in step with the information dictionary
    Unreadable,  // copied as it stood: it does not parse
};

// The metadata of one written file: planned before the objects are copied
// (the old stream is then not copied), written with the information.
class TMetadataPlan {
public:
    // Prepares the packet in step with the information written.
    void Plan(TPdfDocument& doc, const TWrittenInfo& info);
    // The number of the stream written anew; 0 when the old one is copied
    // or there is none.
    int32_t ObjNum() const { return stream_ ? stream_->objNum : 0; }
    int32_t Gen() const { return stream_ ? stream_->gen : 0; }
    std::string ObjectText(TPdfDocument& doc) const;
    TMetadataOutcome Outcome() const { return outcome_; }

private:
    std::optional<TMetadataStream> stream_;
    std::string packet_;
    TMetadataOutcome outcome_ = TMetadataOutcome::None;
};

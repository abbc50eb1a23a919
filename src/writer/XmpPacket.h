// XMP metadata packets (the catalog's /Metadata stream): the conformance a
// file claims in it, and the properties that mirror the document
// information, set without touching anything else of the packet.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

// What becomes of one property: kept as the packet has it, set to a text
// (UTF-8; an empty text too), or removed.
struct TXmpText {
    enum class TAction { Keep, Set, Remove };
    TAction action = TAction::Keep;
    std::string value;

    TXmpText() = default;
    TXmpText(std::string text) : action(TAction::Set), value(std::move(text)) {}  // NOLINT: a text sets
    TXmpText(const char* text) : TXmpText(std::string(text)) {}                   // NOLINT
    static TXmpText Removed() {
        TXmpText removed;
        removed.action = TAction::Remove;
        return removed;
    }
};

// The properties PDF/A maps the document information to.
struct TXmpInfoProperties {
    TXmpText title;         // dc:title, its x-default item
    TXmpText author;        // dc:creator, a sequence of this one item
    TXmpText subject;       // dc:description, its x-default item
    TXmpText keywords;      // pdf:Keywords
    TXmpText producer;      // pdf:Producer
    TXmpText creatorTool;   // xmp:CreatorTool
    TXmpText createDate;    // xmp:CreateDate, ISO 8601
    TXmpText modifyDate;    // xmp:ModifyDate
    TXmpText metadataDate;  // xmp:MetadataDate
};

// The packet with the properties set. Properties are found by their
// namespace, whatever prefix the packet gives it, as attributes or as
// elements of any rdf:Description; a missing one is added. Every other
// node stays as it was, and so do the xpacket wrapper and, where the new
// text fits into the old packet, its size (the padding gives way). Nothing
// when the packet is not well-formed UTF-8 XML with an rdf:RDF element.
std::optional<std::string> UpdatedXmpPacket(std::string_view packet, const TXmpInfoProperties& values);

// The PDF/A and PDF/X identification a packet carries: "PDF/A-2b",
// "PDF/X-4" (as the file writes the version), empty where it has none.
struct TXmpClaims {
    std::string pdfa;
    int32_t pdfaPart = 0;  // 0 without a PDF/A claim
    std::string pdfx;
};
// Nothing when the packet does not parse.
std::optional<TXmpClaims> XmpClaims(std::string_view packet);

// A PDF date ("D:20170418221917-07'00'", any of its shorter forms) as XMP
// writes it ("2017-04-18T22:19:17-07:00"), with the same precision and
// offset; nothing when it is not a date.
std::optional<std::string> XmpDateFromPdfDate(std::string_view pdfDate);

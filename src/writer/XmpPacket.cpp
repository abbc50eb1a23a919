#include "XmpPacket.h"

#include <pugixml.hpp>

#include <cctype>
#include <vector>

namespace {

constexpr std::string_view kRdfNs = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";
constexpr std::string_view kDcNs = "http://purl.org/dc/elements/1.1/";
constexpr std::string_view kPdfNs = "http://ns.adobe.com/pdf/1.3/";
constexpr std::string_view kXmpNs = "http://ns.adobe.com/xap/1.0/";
constexpr std::string_view kPdfaIdNs = "http://www.aiim.org/pdfa/ns/id/";
constexpr std::string_view kPdfxIdNs = "http://www.npes.org/pdfx/ns/id/";
constexpr std::string_view kPdfxNs = "http://ns.adobe.com/pdfx/1.3/";

// Whitespace text is kept as it stands, so that what is written back differs
// from what was read only where a property changed: no end-of-line or
// attribute normalisation.
constexpr unsigned kParseFlags = pugi::parse_cdata | pugi::parse_escapes | pugi::parse_comments | pugi::parse_pi |
                                 pugi::parse_declaration | pugi::parse_doctype | pugi::parse_ws_pcdata |
                                 pugi::parse_fragment;

enum class TShape { Simple, AltText, Seq };

struct TPropertyName {
    std::string_view ns;
    std::string_view prefix;  // the usual one, for a property the packet lacks
    std::string_view local;
    TShape shape;
};

std::string_view PrefixOf(std::string_view name) {
    const size_t colon = name.find(':');
    return colon == std::string_view::npos ? std::string_view{} : name.substr(0, colon);
}

std::string_view LocalOf(std::string_view name) {
    const size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// The namespace `prefix` stands for at `node`: the nearest declaration on
// it or an ancestor.
std::string_view NamespaceOf(pugi::xml_node node, std::string_view prefix) {
    const std::string declaration = prefix.empty() ? "xmlns" : "xmlns:" + std::string(prefix);
    for (; node; node = node.parent())
        if (const pugi::xml_attribute attr = node.attribute(declaration.c_str())) return attr.value();
    return {};
}

bool IsElement(pugi::xml_node node, std::string_view ns, std::string_view local) {
    return node.type() == pugi::node_element && LocalOf(node.name()) == local &&
           NamespaceOf(node, PrefixOf(node.name())) == ns;
}

// An attribute in a namespace; unprefixed attributes have none in RDF.
bool IsAttribute(pugi::xml_node owner, pugi::xml_attribute attr, std::string_view ns, std::string_view local) {
    const std::string_view name = attr.name();
    const std::string_view prefix = PrefixOf(name);
    return !prefix.empty() && prefix != "xmlns" && LocalOf(name) == local && NamespaceOf(owner, prefix) == ns;
}

pugi::xml_node FindRdf(pugi::xml_node node) {
    for (pugi::xml_node child : node.children()) {
        if (IsElement(child, kRdfNs, "RDF")) return child;
        if (const pugi::xml_node found = FindRdf(child)) return found;
    }
    return {};
}

std::vector<pugi::xml_node> Descriptions(pugi::xml_node rdf) {
    std::vector<pugi::xml_node> found;
    for (pugi::xml_node child : rdf.children())
        if (IsElement(child, kRdfNs, "Description")) found.push_back(child);
    return found;
}

// A name in the namespace's prefix at `node`: the one declared for it
// nearest, else `prefix` declared on `node` (or a variant of it where the
// packet binds it to something else).
std::string QualifiedName(pugi::xml_node node, std::string_view ns, std::string_view prefix, std::string_view local) {
    for (pugi::xml_node at = node; at; at = at.parent())
        for (pugi::xml_attribute attr : at.attributes()) {
            const std::string_view name = attr.name();
            if (name.substr(0, 6) == "xmlns:" && attr.value() == ns) {
                const std::string_view bound = name.substr(6);
                if (NamespaceOf(node, bound) == ns) return std::string(bound) + ":" + std::string(local);
            }
        }
    std::string chosen(prefix);
    for (int32_t k = 1; !NamespaceOf(node, chosen).empty(); ++k) chosen = std::string(prefix) + std::to_string(k);
    node.append_attribute(("xmlns:" + chosen).c_str()).set_value(std::string(ns).c_str());
    return chosen + ":" + std::string(local);
}

std::string RdfName(pugi::xml_node rdf, std::string_view local) {
    const std::string_view prefix = PrefixOf(rdf.name());
    return prefix.empty() ? std::string(local) : std::string(prefix) + ":" + std::string(local);
}

bool IsBlankText(pugi::xml_node node) {
    if (node.type() != pugi::node_pcdata) return false;
    for (const char* ch = node.value(); *ch; ++ch)
        if (!std::isspace(static_cast<unsigned char>(*ch))) return false;
    return true;
}

// A new last element of `parent`, indented like the elements before it.
pugi::xml_node AppendIndented(pugi::xml_node parent, const std::string& name) {
    pugi::xml_node lastElement;
    for (pugi::xml_node child : parent.children())
        if (child.type() == pugi::node_element) lastElement = child;
    const pugi::xml_node indent = lastElement ? lastElement.previous_sibling() : pugi::xml_node{};
    if (!lastElement || !IsBlankText(indent)) return parent.append_child(name.c_str());
    pugi::xml_node space = parent.insert_child_after(pugi::node_pcdata, lastElement);
    space.set_value(indent.value());
    return parent.insert_child_after(name.c_str(), space);
}

void RemoveChildren(pugi::xml_node node) {
    while (node.first_child()) node.remove_child(node.first_child());
}

// The text of a simple property element, or of a language item.
std::string TextOf(pugi::xml_node node) {
    std::string text;
    for (pugi::xml_node child : node.children()) {
        if (child.type() == pugi::node_element) return "\x01";  // structured: never equal to a text
        if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) text += child.value();
    }
    return text;
}

void SetText(pugi::xml_node node, const std::string& value) {
    if (TextOf(node) == value) return;
    RemoveChildren(node);
    node.append_child(pugi::node_pcdata).set_value(value.c_str());
}

pugi::xml_node ChildElement(pugi::xml_node node, std::string_view ns, std::string_view local) {
    for (pugi::xml_node child : node.children())
        if (IsElement(child, ns, local)) return child;
    return {};
}

// Removes an element together with the indentation in front of it.
void RemoveElement(pugi::xml_node element) {
    pugi::xml_node parent = element.parent();
    if (IsBlankText(element.previous_sibling())) parent.remove_child(element.previous_sibling());
    parent.remove_child(element);
}

void SetAltText(pugi::xml_node property, pugi::xml_node rdf, const std::string& value) {
    pugi::xml_node alt = ChildElement(property, kRdfNs, "Alt");
    if (!alt) {
        RemoveChildren(property);
        alt = property.append_child(RdfName(rdf, "Alt").c_str());
    }
    for (pugi::xml_node item : alt.children())
        if (IsElement(item, kRdfNs, "li") && std::string_view(item.attribute("xml:lang").value()) == "x-default")
            return SetText(item, value);
    // The default goes first, as readers that take the first item expect.
    pugi::xml_node first = ChildElement(alt, kRdfNs, "li");
    pugi::xml_node item = first ? alt.insert_child_before(RdfName(rdf, "li").c_str(), first)
                                : alt.append_child(RdfName(rdf, "li").c_str());
    if (first && IsBlankText(first.previous_sibling()) && item.previous_sibling())
        alt.insert_copy_after(item.previous_sibling(), item);
    item.append_attribute("xml:lang").set_value("x-default");
    item.append_child(pugi::node_pcdata).set_value(value.c_str());
}

void SetSeq(pugi::xml_node property, pugi::xml_node rdf, const std::string& value) {
    pugi::xml_node seq = ChildElement(property, kRdfNs, "Seq");
    if (!seq) {
        RemoveChildren(property);
        seq = property.append_child(RdfName(rdf, "Seq").c_str());
    }
    // The first item takes the text, in its place; the others go.
    std::vector<pugi::xml_node> items;
    for (pugi::xml_node item : seq.children())
        if (IsElement(item, kRdfNs, "li")) items.push_back(item);
    if (items.empty()) items.push_back(seq.append_child(RdfName(rdf, "li").c_str()));
    SetText(items.front(), value);
    for (size_t k = 1; k < items.size(); ++k) RemoveElement(items[k]);
}

void SetElement(pugi::xml_node property, pugi::xml_node rdf, TShape shape, const std::string& value) {
    switch (shape) {
        case TShape::Simple: return SetText(property, value);
        case TShape::AltText: return SetAltText(property, rdf, value);
        case TShape::Seq: return SetSeq(property, rdf, value);
    }
}

// The description a missing property joins: one that already holds its
// namespace, else the first.
pugi::xml_node HomeFor(const std::vector<pugi::xml_node>& descriptions, std::string_view ns) {
    for (pugi::xml_node description : descriptions) {
        for (pugi::xml_attribute attr : description.attributes())
            if (std::string_view(attr.name()).substr(0, 6) == "xmlns:" && attr.value() == ns) return description;
        for (pugi::xml_node child : description.children())
            if (child.type() == pugi::node_element && NamespaceOf(child, PrefixOf(child.name())) == ns)
                return description;
    }
    return descriptions.front();
}

void SetProperty(pugi::xml_node rdf, const TPropertyName& name, const TXmpText& text) {
    if (text.action == TXmpText::TAction::Keep) return;
    const bool remove = text.action == TXmpText::TAction::Remove;
    const std::string& value = text.value;
    std::vector<pugi::xml_node> descriptions = Descriptions(rdf);
    bool present = false;
    for (pugi::xml_node description : descriptions) {
        for (pugi::xml_attribute attr = description.first_attribute(); attr;) {
            const pugi::xml_attribute next = attr.next_attribute();
            if (IsAttribute(description, attr, name.ns, name.local)) {
                // Only simple values may stand in an attribute.
                if (remove || name.shape != TShape::Simple) {
                    description.remove_attribute(attr);
                } else {
                    attr.set_value(value.c_str());
                    present = true;
                }
            }
            attr = next;
        }
        for (pugi::xml_node child = description.first_child(); child;) {
            const pugi::xml_node next = child.next_sibling();
            if (IsElement(child, name.ns, name.local)) {
                if (remove) {
                    RemoveElement(child);
                } else {
                    SetElement(child, rdf, name.shape, value);
                    present = true;
                }
            }
            child = next;
        }
    }
    if (present || remove) return;
    if (descriptions.empty()) {
        pugi::xml_node description = AppendIndented(rdf, RdfName(rdf, "Description"));
        description.append_attribute(RdfName(rdf, "about").c_str()).set_value("");
        descriptions.push_back(description);
    }
    pugi::xml_node home = HomeFor(descriptions, name.ns);
    const std::string qualified = QualifiedName(home, name.ns, name.prefix, name.local);
    SetElement(AppendIndented(home, qualified), rdf, name.shape, value);
}

// The packet cut into the xpacket header, the XML, the padding (the blanks
// behind the XML) and the trailer; header and trailer are empty where the
// packet has no wrapper.
struct TPacketParts {
    std::string_view head;
    std::string_view xml;
    std::string_view padding;
    std::string_view tail;
};

TPacketParts SplitPacket(std::string_view packet) {
    TPacketParts parts;
    std::string_view rest = packet;
    const size_t begin = rest.find("<?xpacket begin");
    if (begin != std::string_view::npos && rest.substr(0, begin).find('<') == std::string_view::npos) {
        const size_t end = rest.find("?>", begin);
        if (end != std::string_view::npos) {
            parts.head = rest.substr(0, end + 2);
            rest.remove_prefix(end + 2);
        }
    }
    const size_t trailer = rest.rfind("<?xpacket end");
    if (trailer != std::string_view::npos) {
        parts.tail = rest.substr(trailer);
        rest = rest.substr(0, trailer);
    }
    size_t xmlEnd = rest.size();
    while (xmlEnd > 0 && std::isspace(static_cast<unsigned char>(rest[xmlEnd - 1]))) --xmlEnd;
    parts.xml = rest.substr(0, xmlEnd);
    parts.padding = rest.substr(xmlEnd);
    return parts;
}

// `size` blanks in the style of the old padding: its last bytes, or all of
// it behind more lines of spaces.
std::string PaddingOf(size_t size, std::string_view old) {
    if (size == 0) return {};
    // The line end behind the XML stays, when the old padding began with one.
    if (size <= old.size() && old.front() == '\n') return "\n" + std::string(old.substr(old.size() - size + 1));
    if (size <= old.size()) return std::string(old.substr(old.size() - size));
    std::string padding;
    padding.reserve(size);
    for (size_t k = 0; padding.size() + old.size() < size; ++k) padding += k % 101 == 100 ? '\n' : ' ';
    if (!old.empty() && old.front() == '\n') return "\n" + padding + std::string(old.substr(1));
    return padding + std::string(old);
}

struct TStringWriter : pugi::xml_writer {
    std::string text;
    void write(const void* data, size_t size) override { text.append(static_cast<const char*>(data), size); }
};

bool IsUtf8(std::string_view text) {
    for (size_t at = 0; at < text.size();) {
        const auto lead = static_cast<uint8_t>(text[at]);
        const size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
        if (length == 0 || lead == 0 || at + length > text.size()) return false;
        for (size_t k = 1; k < length; ++k)
            if ((static_cast<uint8_t>(text[at + k]) >> 6) != 2) return false;
        at += length;
    }
    return true;
}

// Every prefix an element or attribute uses is declared: XMP is XML with
// namespaces, and a reader that resolves them rejects a packet otherwise.
bool PrefixesDeclared(pugi::xml_node node) {
    for (pugi::xml_node child : node.children()) {
        if (child.type() != pugi::node_element) continue;
        const std::string_view prefix = PrefixOf(child.name());
        if (!prefix.empty() && NamespaceOf(child, prefix).empty()) return false;
        for (pugi::xml_attribute attr : child.attributes()) {
            const std::string_view attrPrefix = PrefixOf(attr.name());
            if (!attrPrefix.empty() && attrPrefix != "xmlns" && attrPrefix != "xml" &&
                NamespaceOf(child, attrPrefix).empty())
                return false;
        }
        if (!PrefixesDeclared(child)) return false;
    }
    return true;
}

// Parses the XML part of `packet`; false when the packet is no XMP: not
// UTF-8 text throughout (the wrapper too), not well-formed, a prefix not
// declared, no rdf:RDF.
bool ParseXml(std::string_view packet, std::string_view xml, pugi::xml_document& doc, pugi::xml_node& rdf) {
    if (!IsUtf8(packet)) return false;
    if (doc.load_buffer(xml.data(), xml.size(), kParseFlags, pugi::encoding_utf8).status != pugi::status_ok)
        return false;
    rdf = FindRdf(doc);
    return rdf && PrefixesDeclared(doc);
}

std::string PropertyValue(pugi::xml_node rdf, std::string_view ns, std::string_view local) {
    for (pugi::xml_node description : Descriptions(rdf)) {
        for (pugi::xml_attribute attr : description.attributes())
            if (IsAttribute(description, attr, ns, local)) return attr.value();
        for (pugi::xml_node child : description.children())
            if (IsElement(child, ns, local)) return child.text().get();
    }
    return {};
}

bool Digits(std::string_view text, size_t at, size_t count) {
    if (at + count > text.size()) return false;
    for (size_t k = at; k < at + count; ++k)
        if (!std::isdigit(static_cast<unsigned char>(text[k]))) return false;
    return true;
}

int32_t Number(std::string_view text, size_t at, size_t count) {
    int32_t value = 0;
    for (size_t k = at; k < at + count; ++k) value = value * 10 + (text[k] - '0');
    return value;
}

}  // namespace

std::optional<std::string> UpdatedXmpPacket(std::string_view packet, const TXmpInfoProperties& values) {
    const TPacketParts parts = SplitPacket(packet);
    pugi::xml_document doc;
    pugi::xml_node rdf;
    if (!ParseXml(packet, parts.xml, doc, rdf)) return std::nullopt;
    const std::pair<TPropertyName, const TXmpText*> properties[] = {
        {{kDcNs, "dc", "title", TShape::AltText}, &values.title},
        {{kDcNs, "dc", "creator", TShape::Seq}, &values.author},
        {{kDcNs, "dc", "description", TShape::AltText}, &values.subject},
        {{kPdfNs, "pdf", "Keywords", TShape::Simple}, &values.keywords},
        {{kPdfNs, "pdf", "Producer", TShape::Simple}, &values.producer},
        {{kXmpNs, "xmp", "CreatorTool", TShape::Simple}, &values.creatorTool},
        {{kXmpNs, "xmp", "CreateDate", TShape::Simple}, &values.createDate},
        {{kXmpNs, "xmp", "ModifyDate", TShape::Simple}, &values.modifyDate},
        {{kXmpNs, "xmp", "MetadataDate", TShape::Simple}, &values.metadataDate},
    };
    for (const auto& [name, value] : properties) SetProperty(rdf, name, *value);
    TStringWriter xml;
    doc.save(xml, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    // Where the new text fits, the packet keeps its size, so that a tool
    // that edits packets in place still finds its room.
    const size_t oldSize = parts.xml.size() + parts.padding.size();
    const std::string padding = !parts.tail.empty() && xml.text.size() <= oldSize
                                    ? PaddingOf(oldSize - xml.text.size(), parts.padding)
                                    : std::string(parts.padding);
    return std::string(parts.head) + xml.text + padding + std::string(parts.tail);
}

std::optional<TXmpClaims> XmpClaims(std::string_view packet) {
    pugi::xml_document doc;
    pugi::xml_node rdf;
    if (!ParseXml(packet, SplitPacket(packet).xml, doc, rdf)) return std::nullopt;
    TXmpClaims claims;
    const std::string part = PropertyValue(rdf, kPdfaIdNs, "part");
    if (!part.empty() && part.find_first_not_of("0123456789") == std::string::npos && part.size() <= 2) {
        claims.pdfaPart = std::stoi(part);
        std::string conformance = PropertyValue(rdf, kPdfaIdNs, "conformance");
        for (char& ch : conformance) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        claims.pdfa = "PDF/A-" + part + conformance;
    }
    claims.pdfx = PropertyValue(rdf, kPdfxIdNs, "GTS_PDFXVersion");
    if (claims.pdfx.empty()) claims.pdfx = PropertyValue(rdf, kPdfxNs, "GTS_PDFXVersion");
    return claims;
}

std::optional<std::string> XmpDateFromPdfDate(std::string_view pdf) {
    if (pdf.substr(0, 2) == "D:") pdf.remove_prefix(2);
    if (!Digits(pdf, 0, 4)) return std::nullopt;
    std::string iso(pdf.substr(0, 4));
    // Month, day, hour, minute, second: each may end the date.
    static const struct {
        const char* separator;
        int32_t low, high;
    } kFields[] = {{"-", 1, 12}, {"-", 1, 31}, {"T", 0, 23}, {":", 0, 59}, {":", 0, 59}};
    size_t at = 4;
    size_t fields = 0;
    for (const auto& field : kFields) {
        if (!Digits(pdf, at, 2)) break;
        const int32_t value = Number(pdf, at, 2);
        if (value < field.low || value > field.high) return std::nullopt;
        iso += field.separator + std::string(pdf.substr(at, 2));
        at += 2;
        ++fields;
    }
    if (fields == 3) iso += ":00";  // XMP gives a time as hours and minutes at least
    // An offset means nothing without a time of day.
    if (fields < 3 || at == pdf.size()) return iso;
    const char sign = pdf[at];
    if (sign == 'Z') return iso + "Z";
    if ((sign != '+' && sign != '-') || !Digits(pdf, at + 1, 2)) return std::nullopt;
    const std::string_view hours = pdf.substr(at + 1, 2);
    at += 3;
    if (at < pdf.size() && pdf[at] == '\'') ++at;
    const std::string_view minutes = Digits(pdf, at, 2) ? pdf.substr(at, 2) : std::string_view("00");
    if (Number(hours, 0, 2) > 23 || Number(minutes, 0, 2) > 59) return std::nullopt;
    return iso + sign + std::string(hours) + ":" + std::string(minutes);
}

// XMP packets set in step with the document information: the properties
// found by namespace in any form the packet writes them, added where
// missing, escaped, and everything else kept byte for byte where it can be
// (the padding gives way so that the packet keeps its size).
#include <gtest/gtest.h>

#include "XmpPacket.h"

namespace {

const std::string kHead = "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n";
const std::string kTail = "<?xpacket end=\"w\"?>";

// A packet as producers write them: properties as elements and as
// attributes, the xmp namespace under its old prefix "xap", a PDF/A
// identification, an extension schema, and 300 bytes of padding.
std::string TypicalXml() {
    return "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
           " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
           "  <rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
           "   <dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">Alt</rdf:li><rdf:li xml:lang=\"en\">Old</rdf:li>"
           "</rdf:Alt></dc:title>\n"
           "   <dc:creator>\n"
           "    <rdf:Seq>\n"
           "     <rdf:li>Anna</rdf:li>\n"
           "     <rdf:li>Bert</rdf:li>\n"
           "    </rdf:Seq>\n"
           "   </dc:creator>\n"
           "   <dc:format>application/pdf</dc:format>\n"
           "  </rdf:Description>\n"
           "  <rdf:Description rdf:about=\"\" xmlns:xap=\"http://ns.adobe.com/xap/1.0/\" "
           "xap:ModifyDate=\"2017-04-18T22:19:17-07:00\">\n"
           "   <xap:CreatorTool>Writer</xap:CreatorTool>\n"
           "  </rdf:Description>\n"
           "  <rdf:Description rdf:about=\"\" xmlns:pdfaid=\"http://www.aiim.org/pdfa/ns/id/\" "
           "pdfaid:part=\"2\" pdfaid:conformance=\"B\"/>\n"
           "  <rdf:Description rdf:about=\"\" xmlns:pdfaExtension=\"http://www.aiim.org/pdfa/ns/extension/\">"
           "<pdfaExtension:schemas><rdf:Bag/></pdfaExtension:schemas></rdf:Description>\n"
           " </rdf:RDF>\n"
           "</x:xmpmeta>";
}

std::string Padding(size_t size) {
    std::string padding = "\n";
    while (padding.size() < size) padding += padding.size() % 101 == 100 ? '\n' : ' ';
    return padding;
}

std::string Typical() { return kHead + TypicalXml() + Padding(300) + kTail; }

// The packet without its wrapper and padding: what changed is visible.
std::string XmlOf(const std::string& packet) {
    const size_t start = packet.find("?>") + 3;
    const size_t end = packet.find("</x:xmpmeta>") + 12;
    return packet.substr(start, end - start);
}

TEST(XmpPacketUpdate, SetsEachPropertyInTheFormThePacketGivesIt) {
    TXmpInfoProperties values;
    values.title = "Neu";
    values.author = "Clara";
    values.creatorTool = "Writer";  // as it is: untouched
    values.modifyDate = "2024-05-06T07:08:09+02:00";
    values.producer = "Glyphwell";
    const auto packet = UpdatedXmpPacket(Typical(), values);
    ASSERT_TRUE(packet);
    std::string expected = TypicalXml();
    auto replace = [&expected](const std::string& from, const std::string& to) {
        const size_t at = expected.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        expected.replace(at, from.size(), to);
    };
    replace(">Alt<", ">Neu<");
    // One author, in the first item's place.
    replace("     <rdf:li>Anna</rdf:li>\n     <rdf:li>Bert</rdf:li>\n", "     <rdf:li>Clara</rdf:li>\n");
    replace("2017-04-18T22:19:17-07:00", "2024-05-06T07:08:09+02:00");
    // A namespace no description has yet: declared on the first.
    replace("xmlns:dc=\"http://purl.org/dc/elements/1.1/\">",
            "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmlns:pdf=\"http://ns.adobe.com/pdf/1.3/\">");
    replace("<dc:format>application/pdf</dc:format>\n",
            "<dc:format>application/pdf</dc:format>\n   <pdf:Producer>Glyphwell</pdf:Producer>\n");
    EXPECT_EQ(XmlOf(*packet), expected);
    // The padding gave way: the packet keeps its size and its wrapper.
    EXPECT_EQ(packet->size(), Typical().size());
    EXPECT_EQ(packet->substr(0, kHead.size()), kHead);
    EXPECT_EQ(packet->substr(packet->size() - kTail.size()), kTail);
}

TEST(XmpPacketUpdate, EscapesMarkupAndKeepsAnyScript) {
    TXmpInfoProperties values;
    values.title = "<Bericht> & \"Zahlen\" 'Q1' – Ωμέγα 東京";
    values.keywords = "a<b&c";
    const auto packet = UpdatedXmpPacket(Typical(), values);
    ASSERT_TRUE(packet);
    EXPECT_NE(packet->find("<rdf:li xml:lang=\"x-default\">&lt;Bericht&gt; &amp; \"Zahlen\" 'Q1' – Ωμέγα 東京</rdf:li>"),
              std::string::npos)
        << *packet;
    EXPECT_NE(packet->find("<pdf:Keywords>a&lt;b&amp;c</pdf:Keywords>"), std::string::npos) << *packet;
    // An attribute value escapes its quotes too (">" needs no escape).
    values = {};
    values.modifyDate = "\"<&>\"";
    const auto attribute = UpdatedXmpPacket(Typical(), values);
    ASSERT_TRUE(attribute);
    EXPECT_NE(attribute->find("xap:ModifyDate=\"&quot;&lt;&amp;>&quot;\""), std::string::npos) << *attribute;
}

TEST(XmpPacketUpdate, AddsWhatAPacketLacks) {
    const std::string bare = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
                             "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description "
                             "rdf:about=\"\"/></rdf:RDF></x:xmpmeta>";
    TXmpInfoProperties values;
    values.title = "T";
    values.author = "A";
    values.subject = "S";
    values.keywords = "K";
    values.producer = "P";
    values.creatorTool = "C";
    values.createDate = "2001-02-03T04:05:06Z";
    values.modifyDate = "2024-05-06T07:08:09+02:00";
    values.metadataDate = "2024-05-06T07:08:09+02:00";
    const auto packet = UpdatedXmpPacket(bare, values);
    ASSERT_TRUE(packet);
    EXPECT_EQ(*packet,
              "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
              "<rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
              "xmlns:pdf=\"http://ns.adobe.com/pdf/1.3/\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\">"
              "<dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">T</rdf:li></rdf:Alt></dc:title>"
              "<dc:creator><rdf:Seq><rdf:li>A</rdf:li></rdf:Seq></dc:creator>"
              "<dc:description><rdf:Alt><rdf:li xml:lang=\"x-default\">S</rdf:li></rdf:Alt></dc:description>"
              "<pdf:Keywords>K</pdf:Keywords><pdf:Producer>P</pdf:Producer><xmp:CreatorTool>C</xmp:CreatorTool>"
              "<xmp:CreateDate>2001-02-03T04:05:06Z</xmp:CreateDate>"
              "<xmp:ModifyDate>2024-05-06T07:08:09+02:00</xmp:ModifyDate>"
              "<xmp:MetadataDate>2024-05-06T07:08:09+02:00</xmp:MetadataDate>"
              "</rdf:Description></rdf:RDF></x:xmpmeta>");
    // No description at all: one is made, with the packet's rdf prefix.
    const auto empty = UpdatedXmpPacket("<r:RDF xmlns:r=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"/>", values);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->rfind("<r:RDF xmlns:r=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><r:Description r:about=\"\" "
                           "xmlns:dc=\"",
                           0),
              0u)
        << *empty;
    // A title without an x-default item gets one, first.
    TXmpInfoProperties title;
    title.title = "T";
    const auto other = UpdatedXmpPacket(
        "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description rdf:about=\"\" "
        "xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><dc:title><rdf:Alt><rdf:li xml:lang=\"de\">D</rdf:li>"
        "</rdf:Alt></dc:title></rdf:Description></rdf:RDF>",
        title);
    ASSERT_TRUE(other);
    EXPECT_NE(other->find("<rdf:Alt><rdf:li xml:lang=\"x-default\">T</rdf:li><rdf:li xml:lang=\"de\">D</rdf:li>"),
              std::string::npos)
        << *other;
}

TEST(XmpPacketUpdate, RemovesOnlyWhatIsCleared) {
    TXmpInfoProperties values;
    values.title = TXmpText::Removed();
    values.creatorTool = TXmpText::Removed();
    values.modifyDate = TXmpText::Removed();
    values.producer = TXmpText::Removed();  // absent: nothing to do
    const auto packet = UpdatedXmpPacket(Typical(), values);
    ASSERT_TRUE(packet);
    std::string expected = TypicalXml();
    for (const std::string& cut :
         {std::string("   <dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">Alt</rdf:li><rdf:li xml:lang=\"en\">Old"
                      "</rdf:li></rdf:Alt></dc:title>\n"),
          std::string(" xap:ModifyDate=\"2017-04-18T22:19:17-07:00\""),
          std::string("\n   <xap:CreatorTool>Writer</xap:CreatorTool>")}) {
        const size_t at = expected.find(cut);
        ASSERT_NE(at, std::string::npos) << cut;
        expected.erase(at, cut.size());
    }
    EXPECT_EQ(XmlOf(*packet), expected);
    EXPECT_EQ(packet->size(), Typical().size());
}

TEST(XmpPacketUpdate, AnEmptyTextIsAValueToo) {
    // An information dictionary with "/Title ()" has a title: the packet's
    // becomes empty, it is not removed.
    TXmpInfoProperties values;
    values.title = "";
    values.keywords = "";
    const auto packet = UpdatedXmpPacket(Typical(), values);
    ASSERT_TRUE(packet);
    EXPECT_NE(packet->find("<rdf:li xml:lang=\"x-default\"></rdf:li><rdf:li xml:lang=\"en\">Old</rdf:li>"),
              std::string::npos)
        << *packet;
    EXPECT_NE(packet->find("<pdf:Keywords/>"), std::string::npos) << *packet;
}

TEST(XmpPacketUpdate, PaddingGivesWayOnlyAsFarAsItReaches) {
    // 20 bytes of padding cannot take a long title: the packet grows and
    // keeps the padding it had.
    const std::string tight = kHead + TypicalXml() + Padding(20) + kTail;
    TXmpInfoProperties values;
    values.title = std::string(100, 'x');
    const auto grown = UpdatedXmpPacket(tight, values);
    ASSERT_TRUE(grown);
    EXPECT_EQ(grown->size(), tight.size() + 97);
    EXPECT_EQ(grown->substr(grown->size() - kTail.size() - 20), Padding(20) + kTail);
    // A shorter text leaves more padding, still blanks only.
    values.title = "A";
    const auto shrunk = UpdatedXmpPacket(tight, values);
    ASSERT_TRUE(shrunk);
    EXPECT_EQ(shrunk->size(), tight.size());
    const size_t xmlEnd = shrunk->find("</x:xmpmeta>") + 12;
    EXPECT_EQ(shrunk->substr(xmlEnd, 23), "\n" + std::string(21, ' ') + "<");
    // Without a wrapper there is no room to keep.
    const auto bare = UpdatedXmpPacket(TypicalXml() + "\n", values);
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->size(), TypicalXml().size() + 1 - 2);
}

TEST(XmpPacketUpdate, RefusesWhatDoesNotParse) {
    const std::string broken[] = {
        kHead + "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/"
                "22-rdf-syntax-ns#\"><rdf:Description></rdf:RDF></x:xmpmeta>" + kTail,  // not well-formed
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><nothing/></x:xmpmeta>",                  // no RDF
        "<rdf:RDF xmlns:rdf=\"urn:other\"/>",                                              // RDF of another namespace
        std::string("<\0r\0d\0f\0", 8),                                                     // UTF-16
        "",
    };
    TXmpInfoProperties values;
    values.title = "T";
    for (const std::string& packet : broken) {
        EXPECT_FALSE(UpdatedXmpPacket(packet, values)) << packet;
        EXPECT_FALSE(XmpClaims(packet)) << packet;
    }
}

TEST(XmpClaims, NamePartConformanceAndVersion) {
    auto claims = XmpClaims(Typical());
    ASSERT_TRUE(claims);
    EXPECT_EQ(claims->pdfa, "PDF/A-2b");
    EXPECT_EQ(claims->pdfaPart, 2);
    EXPECT_EQ(claims->pdfx, "");
    const std::string rdf = "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">";
    claims = XmpClaims(rdf +
                       "<rdf:Description xmlns:a=\"http://www.aiim.org/pdfa/ns/id/\"><a:part>1</a:part>"
                       "<a:conformance>A</a:conformance></rdf:Description><rdf:Description "
                       "xmlns:pdfxid=\"http://www.npes.org/pdfx/ns/id/\" pdfxid:GTS_PDFXVersion=\"PDF/X-4\"/></rdf:RDF>");
    ASSERT_TRUE(claims);
    EXPECT_EQ(claims->pdfa, "PDF/A-1a");
    EXPECT_EQ(claims->pdfx, "PDF/X-4");
    claims = XmpClaims(rdf +
                       "<rdf:Description xmlns:pdfx=\"http://ns.adobe.com/pdfx/1.3/\">"
                       "<pdfx:GTS_PDFXVersion>PDF/X-3:2002</pdfx:GTS_PDFXVersion></rdf:Description>"
                       "<rdf:Description xmlns:pdfaid=\"http://www.aiim.org/pdfa/ns/id/\" pdfaid:part=\"4\"/></rdf:RDF>");
    ASSERT_TRUE(claims);
    EXPECT_EQ(claims->pdfa, "PDF/A-4");
    EXPECT_EQ(claims->pdfx, "PDF/X-3:2002");
}

TEST(XmpDates, KeepPrecisionAndOffsetOfThePdfDate) {
    const std::pair<const char*, const char*> dates[] = {
        {"D:20170418221917-07'00'", "2017-04-18T22:19:17-07:00"},
        {"D:20170418221917+05'30", "2017-04-18T22:19:17+05:30"},
        {"D:20170418221917Z", "2017-04-18T22:19:17Z"},
        {"D:20170418221917Z00'00'", "2017-04-18T22:19:17Z"},
        {"D:20170418221917", "2017-04-18T22:19:17"},
        {"D:201704182219", "2017-04-18T22:19"},
        {"D:2017041822", "2017-04-18T22:00"},
        {"D:20170418", "2017-04-18"},
        {"D:2017", "2017"},
        {"19990101120000+01'00'", "1999-01-01T12:00:00+01:00"},
        {"D:20171318", nullptr},
        {"D:2017041825", nullptr},
        {"D:20170418221917+25'00'", nullptr},
        {"D:20170418221917#", nullptr},
        {"Dienstag", nullptr},
        {"", nullptr},
    };
    for (const auto& [pdf, xmp] : dates) {
        const auto converted = XmpDateFromPdfDate(pdf);
        if (xmp) {
            EXPECT_EQ(converted.value_or("(none)"), xmp) << pdf;
        } else {
            EXPECT_FALSE(converted) << pdf << " -> " << *converted;
        }
    }
}

}  // namespace

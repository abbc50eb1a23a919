#!/usr/bin/env python3
"""Writes the hand-made PDF files of this folder: pages drawn with composite
(Type 0) fonts that are not embedded, in the encodings real producers use,
so that replacing and embedding them is checked on each.

type0-both.pdf, page 1:
  /F1  Identity-H, CIDFontType2 "ArialMT", CIDs that are no glyph indexes
       of any face (character + 100), /W and /ToUnicode
  /F2  Identity-V, the same descendant font, vertical columns
  /F3  an embedded CMap with one-byte codes ("A" = <41> -> CID 500 + n)
  /F4  UniJIS-UCS2-H, "Ryumin-Light" (Adobe-Japan1, no /ToUnicode: the
       characters come from the collection's table)
page 2: /F1 again, and a form that draws with /F1 from its own resources.

cjk-collections.pdf: Korean, simplified and traditional Chinese lines in
  the fonts Korean and Chinese producers name without a program
  (HYSMyeongJo-Medium, STSong-Light, MSung-Light), each under its
  collection's predefined UCS-2 CMap and without /ToUnicode.

Usage: make_composite_cases.py [FOLDER]     (default: the folder of this script)
The files are committed; run this again only after changing a case.
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "embed"))
from make_embed_cases import Pdf  # noqa: E402

AFM = "/usr/share/fonts/type1/urw-base35/NimbusSans-Regular.afm"

LINES = ["Composite fonts keep every word in place.",
         "Zahlen 0123456789, Satzzeichen: (a+b) = c; 50% & mehr!",
         "The quick brown fox jumps over the lazy dog."]
COLUMN = ["VERTICAL", "Text 42", "Kerned words", "Form text, fox."]


def afm_widths():
    import re
    names = {"space": " ", "exclam": "!", "parenleft": "(", "parenright": ")", "plus": "+", "equal": "=",
             "semicolon": ";", "percent": "%", "ampersand": "&", "comma": ",", "period": ".", "colon": ":",
             "zero": "0", "one": "1", "two": "2", "three": "3", "four": "4", "five": "5", "six": "6",
             "seven": "7", "eight": "8", "nine": "9"}
    widths = {}
    for line in open(AFM, encoding="latin-1"):
        m = re.match(r"C -?\d+ ; WX (\d+) ; N (\S+) ;", line)
        if not m:
            continue
        name = m.group(2)
        ch = names.get(name, name if len(name) == 1 else None)
        if ch:
            widths[ch] = int(m.group(1))
    return widths


def to_unicode(codes, nbytes):
    lines = ["/CIDInit /ProcSet findresource begin 12 dict begin begincmap",
             "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def",
             "/CMapName /Adobe-Identity-UCS def /CMapType 2 def",
             "1 begincodespacerange <%s> <%s> endcodespacerange" % ("00" * nbytes, "FF" * nbytes),
             "%d beginbfchar" % len(codes)]
    for code, ch in codes:
        lines.append("<%0*X> <%04X>" % (2 * nbytes, code, ord(ch)))
    lines += ["endbfchar", "endcmap CMapName currentdict /CMap defineresource pop end end"]
    return "\n".join(lines) + "\n"


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    widths = afm_widths()
    chars = sorted(set("".join(LINES + COLUMN)))
    cid = {ch: ord(ch) + 100 for ch in chars}
    one_byte_cid = {ch: 500 + i for i, ch in enumerate(chars)}
    pdf = Pdf("1.5")
    pdf.obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
    pdf.obj(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>")
    fonts = "<< /F1 10 0 R /F2 11 0 R /F3 12 0 R /F4 13 0 R >>"
    pdf.obj(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /Font %s >> "
               "/Contents 5 0 R >>" % fonts)
    pdf.obj(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /Font << /F1 10 0 R >> "
               "/XObject << /X1 7 0 R >> >> /Contents 6 0 R >>")

    def hex2(text, table):
        return "<" + "".join("%04X" % table[ch] for ch in text) + ">"

    ops = ["BT /F1 14 Tf 60 780 Td 18 TL"]
    for line in LINES:
        ops.append("%s Tj T*" % hex2(line, cid))
    ops.append("[%s -250 %s] TJ" % (hex2("Kerned", cid), hex2("words", cid)))
    ops.append("ET")
    x = 420
    for column in COLUMN:
        ops.append("BT /F2 16 Tf %d 720 Td %s Tj ET" % (x, hex2(column, cid)))
        x += 40
    ops.append("BT /F3 12 Tf 60 600 Td <%s> Tj ET" % "".join("%02X" % ord(ch) for ch in LINES[0]))
    ops.append("BT /F4 12 Tf 60 560 Td <%s> Tj ET" % "".join("%04X" % ord(ch) for ch in LINES[2]))
    pdf.stream(5, "", "\n".join(ops) + "\n")
    pdf.stream(6, "", "BT /F1 12 Tf 60 780 Td %s Tj ET\nq 1 0 0 1 60 700 cm /X1 Do Q\n" % hex2(LINES[1], cid))
    pdf.stream(7, "/Type /XObject /Subtype /Form /BBox [0 0 400 50] /Resources << /Font << /F9 10 0 R >> >>",
               "BT /F9 12 Tf 0 10 Td %s Tj ET\n" % hex2("Form text, fox.", cid))

    w = " ".join("%d [%d]" % (cid[ch], widths[ch]) for ch in chars)
    pdf.obj(10, "<< /Type /Font /Subtype /Type0 /BaseFont /ArialMT /Encoding /Identity-H "
                "/DescendantFonts [20 0 R] /ToUnicode 30 0 R >>")
    pdf.obj(11, "<< /Type /Font /Subtype /Type0 /BaseFont /ArialMT /Encoding /Identity-V "
                "/DescendantFonts [20 0 R] /ToUnicode 30 0 R >>")
    pdf.obj(20, "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /ArialMT /CIDSystemInfo << /Registry (Adobe) "
                "/Ordering (Identity) /Supplement 0 >> /FontDescriptor 21 0 R /DW 1000 /W [%s] >>" % w)
    pdf.obj(21, "<< /Type /FontDescriptor /FontName /ArialMT /Flags 32 /FontBBox [-665 -325 2000 1040] "
                "/ItalicAngle 0 /Ascent 905 /Descent -212 /CapHeight 716 /StemV 80 >>")
    pdf.stream(30, "", to_unicode([(cid[ch], ch) for ch in chars], 2))

    cmap = ["/CIDInit /ProcSet findresource begin 12 dict begin begincmap",
            "/CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> def",
            "/CMapName /Custom-OneByte def /CMapType 1 def",
            "1 begincodespacerange <00> <FF> endcodespacerange", "%d begincidchar" % len(chars)]
    cmap += ["<%02X> %d" % (ord(ch), one_byte_cid[ch]) for ch in chars]
    cmap += ["endcidchar", "endcmap CMapName currentdict /CMap defineresource pop end end"]
    pdf.stream(31, "/Type /CMap /CMapName /Custom-OneByte /CIDSystemInfo << /Registry (Adobe) /Ordering "
                   "(Identity) /Supplement 0 >>", "\n".join(cmap) + "\n")
    w3 = " ".join("%d [%d]" % (one_byte_cid[ch], widths[ch]) for ch in chars)
    pdf.obj(12, "<< /Type /Font /Subtype /Type0 /BaseFont /Verdana /Encoding 31 0 R "
                "/DescendantFonts [22 0 R] /ToUnicode 32 0 R >>")
    pdf.obj(22, "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /Verdana /CIDSystemInfo << /Registry (Adobe) "
                "/Ordering (Identity) /Supplement 0 >> /FontDescriptor 21 0 R /W [%s] >>" % w3)
    pdf.stream(32, "", to_unicode([(ord(ch), ch) for ch in chars], 1))

    pdf.obj(13, "<< /Type /Font /Subtype /Type0 /BaseFont /Ryumin-Light /Encoding /UniJIS-UCS2-H "
                "/DescendantFonts [23 0 R] >>")
    pdf.obj(23, "<< /Type /Font /Subtype /CIDFontType0 /BaseFont /Ryumin-Light /CIDSystemInfo << /Registry "
                "(Adobe) /Ordering (Japan1) /Supplement 2 >> /FontDescriptor 24 0 R /DW 1000 "
                "/W [1 95 500 231 632 500] >>")
    pdf.obj(24, "<< /Type /FontDescriptor /FontName /Ryumin-Light /Flags 6 /FontBBox [-170 -331 1024 903] "
                "/ItalicAngle 0 /Ascent 723 /Descent -241 /CapHeight 709 /StemV 69 >>")
    with open(os.path.join(folder, "type0-both.pdf"), "wb") as f:
        f.write(pdf.build())
    with open(os.path.join(folder, "cjk-collections.pdf"), "wb") as f:
        f.write(cjk_collections())


def cjk_collections():
    pdf = Pdf("1.5")
    pdf.obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
    pdf.obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
    pdf.obj(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] "
               "/Resources << /Font << /K1 10 0 R /C1 11 0 R /T1 12 0 R >> >> /Contents 5 0 R >>")

    def ucs2(text):
        return "<" + "".join("%04X" % ord(ch) for ch in text) + ">"

    lines = [("K1", "한국어 문서입니다"), ("C1", "中文文本测试"), ("T1", "繁體中文測試")]
    ops = ["BT /%s 20 Tf 60 %d Td %s Tj ET" % (name, 760 - 60 * i, ucs2(text)) for i, (name, text) in enumerate(lines)]
    pdf.stream(5, "", "\n".join(ops) + "\n")
    fonts = ((10, "HYSMyeongJo-Medium", "UniKS-UCS2-H", "Korea1"), (11, "STSong-Light", "UniGB-UCS2-H", "GB1"),
             (12, "MSung-Light", "UniCNS-UCS2-H", "CNS1"))
    for num, base, encoding, ordering in fonts:
        pdf.obj(num, "<< /Type /Font /Subtype /Type0 /BaseFont /%s /Encoding /%s /DescendantFonts [%d 0 R] >>"
                % (base, encoding, num + 10))
        pdf.obj(num + 10, "<< /Type /Font /Subtype /CIDFontType0 /BaseFont /%s /CIDSystemInfo << /Registry (Adobe) "
                          "/Ordering (%s) /Supplement 2 >> /FontDescriptor %d 0 R /DW 1000 >>"
                % (base, ordering, num + 20))
        pdf.obj(num + 20, "<< /Type /FontDescriptor /FontName /%s /Flags 6 /FontBBox [0 -200 1000 900] "
                          "/ItalicAngle 0 /Ascent 880 /Descent -120 /CapHeight 700 /StemV 80 >>" % base)
    return pdf.build()


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Writes the hand-made PDF files of this folder: each draws text with fonts
that are not embedded in one of the ways real producers do, so that
`glyphwell-cli embed` is checked on every way a page can reach a font.

Usage: make_embed_cases.py [FOLDER]     (default: the folder of this script)

The files are committed; run this again only after changing a case.
"""
import os
import sys
import zlib

LOREM = ("Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor "
         "incididunt ut labore et dolore magna aliqua. Ut enim ad minim veniam, quis nostrud "
         "exercitation ullamco laboris nisi ut aliquip ex ea commodo consequat. Duis aute irure "
         "dolor in reprehenderit in voluptate velit esse cillum dolore eu fugiat nulla pariatur.").split()


class Pdf:
    """Objects by number; build() computes the offsets and the table."""

    def __init__(self, version="1.4"):
        self.version = version
        self.objects = {}

    def obj(self, num, body):
        self.objects[num] = body.encode("latin-1") if isinstance(body, str) else body

    def stream(self, num, entries, data, flate=True):
        if isinstance(data, str):
            data = data.encode("latin-1")
        if flate:
            data = zlib.compress(data, 9)
            entries += " /Filter /FlateDecode"
        self.objects[num] = (b"<< " + entries.encode("latin-1") + b" /Length %d >>\nstream\n" % len(data) +
                             data + b"\nendstream")

    def build(self, trailer="/Root 1 0 R"):
        out = bytearray(b"%%PDF-%s\n%%\xe2\xe3\xcf\xd3\n" % self.version.encode())
        size = max(self.objects) + 1
        offsets = {}
        for num in sorted(self.objects):
            offsets[num] = len(out)
            out += b"%d 0 obj\n" % num + self.objects[num] + b"\nendobj\n"
        xref = len(out)
        out += b"xref\n0 %d\n0000000000 65535 f \n" % size
        for num in range(1, size):
            out += (b"%010d 00000 n \n" % offsets[num]) if num in offsets else b"0000000000 65535 f \n"
        out += b"trailer\n<< /Size %d %s >>\nstartxref\n%d\n%%%%EOF\n" % (size, trailer.encode(), xref)
        return bytes(out)


def pdf_string(text):
    return "(" + text.replace("\\", "\\\\").replace("(", "\\(").replace(")", "\\)") + ")"


def text_lines(font, size, x, y, lines, leading=None):
    leading = leading or size * 1.25
    ops = ["BT", "%s %g Tf" % (font, size), "%g TL" % leading, "%g %g Td" % (x, y)]
    for line in lines:
        ops.append(pdf_string(line) + " '")
    ops.append("ET")
    return "\n".join(ops) + "\n"


def lorem_lines(count, words_per_line, shift=0):
    lines = []
    for n in range(count):
        start = (n * words_per_line + shift) % len(LOREM)
        lines.append(" ".join((LOREM * 2)[start:start + words_per_line]))
    return lines


def std_font(base, encoding="/WinAnsiEncoding"):
    enc = " /Encoding %s" % encoding if encoding else ""
    return "<< /Type /Font /Subtype /Type1 /BaseFont /%s%s >>" % (base, enc)


def form_deck(path):
    """A slide deck as groff's mom macros write it: each page's content only
    draws one form XObject, and neither the page nor the form has resources
    of its own; both take the page tree's. The third page's form draws a
    second form (also without resources) by a name of the same resources."""
    pdf = Pdf()
    pdf.obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
    pdf.obj(2, "<< /Type /Pages /Kids [10 0 R 11 0 R 12 0 R] /Count 3 /MediaBox [0 0 612 792] "
               "/Resources << /Font << /F1 3 0 R /F2 4 0 R /F3 5 0 R >> "
               "/XObject << /XO18 20 0 R /XO19 21 0 R /XO20 22 0 R /XO21 23 0 R >> "
               "/ProcSet [/PDF /Text] >> >>")
    pdf.obj(3, std_font("Helvetica"))
    pdf.obj(4, std_font("Times-Roman"))
    pdf.obj(5, std_font("Times-Bold"))
    forms = {20: "XO18", 21: "XO19", 22: "XO20"}
    for k, num in enumerate((10, 11, 12)):
        pdf.obj(num, "<< /Type /Page /Parent 2 0 R /Contents %d 0 R >>" % (num + 20))
        pdf.stream(num + 20, "", "q /%s Do Q\n" % forms[20 + k])
    for k, num in enumerate((20, 21, 22)):
        body = text_lines("/F3", 24, 72, 720, ["Slide %d: Quartz glyph judge, vex" % (k + 1)])
        body += text_lines("/F2", 12, 72, 680, lorem_lines(30, 11, k * 7))
        body += text_lines("/F1", 10, 72, 200, lorem_lines(8, 12, k * 3 + 1))
        if num == 22:
            body += "q 1 0 0 1 0 -240 cm /XO21 Do Q\n"
        pdf.stream(num, "/Type /XObject /Subtype /Form /BBox [0 0 612 792]", body)
    # Nested one level deeper, with the same inherited resources.
    pdf.stream(23, "/Type /XObject /Subtype /Form /BBox [0 0 612 792]",
               text_lines("/F1", 14, 72, 300, ["Nested form: {Jackdaws} love my big sphinx of quartz!"]))
    open(path, "wb").write(pdf.build())


def interactive_form(path):
    """An interactive form whose fields draw with the form's default font:
    the first field's appearance has no resources of its own (the page's
    /Helv, which is the same object as the /DR font, is used), the second
    names the /DR font in its own resources, and a third font of /DR is
    used by no page at all."""
    pdf = Pdf()
    pdf.obj(1, "<< /Type /Catalog /Pages 2 0 R /AcroForm 9 0 R >>")
    pdf.obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
    pdf.obj(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
               "/Resources << /Font << /Helv 5 0 R >> >> /Annots [6 0 R 7 0 R] >>")
    pdf.stream(4, "", text_lines("/Helv", 14, 72, 720, ["Name:", "Anschrift:"], 30))
    pdf.obj(5, std_font("Helvetica"))
    pdf.obj(6, "<< /Type /Annot /Subtype /Widget /FT /Tx /T (name) /V (Jonathan Quincy Wexford) "
               "/Rect [160 700 500 730] /F 4 /DA (/Helv 14 Tf 0 g) /AP << /N 10 0 R >> /P 3 0 R >>")
    pdf.obj(7, "<< /Type /Annot /Subtype /Widget /FT /Tx /T (address) /V (Zwölf Boxkämpfer jagen Viktor) "
               "/Rect [160 670 500 700] /F 4 /DA (/Helv 14 Tf 0 g) /AP << /N 11 0 R >> /P 3 0 R >>")
    pdf.obj(8, std_font("Times-Roman"))
    pdf.obj(9, "<< /Fields [6 0 R 7 0 R] /DA (/Helv 0 Tf 0 g) /DR << /Font << /Helv 5 0 R /TiRo 8 0 R >> >> >>")
    pdf.stream(10, "/Type /XObject /Subtype /Form /BBox [0 0 340 30]",
               "/Tx BMC q BT 0 g /Helv 14 Tf 2 9 Td (Jonathan Quincy Wexford) Tj ET Q EMC\n")
    pdf.stream(11, "/Type /XObject /Subtype /Form /BBox [0 0 340 30] /Resources << /Font << /Helv 5 0 R >> >>",
               "/Tx BMC q BT 0 g /Helv 14 Tf 2 9 Td (Zw\xf6lf Boxk\xe4mpfer jagen Viktor) Tj ET Q EMC\n")
    open(path, "wb").write(pdf.build())


def damaged_content(path):
    """The second page's Flate content is damaged two thirds in: what can be
    decoded of it is drawn (as viewers do), and the rest of the stream's
    bytes must stay in the file as they are."""
    pdf = Pdf()
    pdf.obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
    pdf.obj(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 /MediaBox [0 0 612 792] >>")
    resources = "/Resources << /Font << /F1 7 0 R /F2 8 0 R >> >>"
    pdf.obj(3, "<< /Type /Page /Parent 2 0 R /Contents 5 0 R %s >>" % resources)
    pdf.obj(4, "<< /Type /Page /Parent 2 0 R /Contents 6 0 R %s >>" % resources)
    pdf.stream(5, "", text_lines("/F1", 12, 72, 720, lorem_lines(20, 10)))
    content = text_lines("/F2", 12, 72, 720, lorem_lines(40, 10, 5)).encode("latin-1")
    packed = zlib.compress(content, 9)
    # Bytes that no deflate block can hold, two thirds in: inflating stops
    # there with an error.
    at = len(packed) * 2 // 3
    cut = packed[:at] + b"\xff\xff\xff\xff\xff\xff" + packed[at:]
    pdf.obj(6, b"<< /Filter /FlateDecode /Length %d >>\nstream\n" % len(cut) + cut + b"\nendstream")
    pdf.obj(7, std_font("Helvetica"))
    pdf.obj(8, std_font("Times-Roman"))
    open(path, "wb").write(pdf.build())


STD12 = ["Times-Roman", "Times-Bold", "Times-Italic", "Times-BoldItalic", "Helvetica", "Helvetica-Bold",
         "Helvetica-Oblique", "Helvetica-BoldOblique", "Courier", "Courier-Bold", "Courier-Oblique",
         "Courier-BoldOblique"]


def all_codes(path):
    """Each of the twelve Latin standard fonts, without /Widths, draws every
    code 1-255 (in words of eight codes), under WinAnsi, StandardEncoding
    (no /Encoding) and MacRoman; one font also has /Differences."""
    pdf = Pdf()
    pdf.obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
    kids = []
    fonts = {}
    encodings = ["/WinAnsiEncoding", None, "/MacRomanEncoding",
                 "<< /Type /Encoding /BaseEncoding /WinAnsiEncoding /Differences [128 /bullet /plusminus /Euro] >>"]
    for k, base in enumerate(STD12):
        fonts["/F%d" % k] = 100 + k
        pdf.obj(100 + k, std_font(base, encodings[k % 4]))
    font_dict = " ".join("%s %d 0 R" % (name, num) for name, num in fonts.items())
    for page in range(3):
        num = 3 + 2 * page
        kids.append("%d 0 R" % num)
        pdf.obj(num, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 842 595] /Contents %d 0 R "
                     "/Resources << /Font << %s >> >> >>" % (num + 1, font_dict))
        ops = []
        for row, k in enumerate(range(page * 4, page * 4 + 4)):
            ops.append("BT /F%d 7 Tf 9 TL 20 %d Td" % (k, 570 - row * 140))
            line = ""
            for code in range(1, 256):
                # Words of eight codes; 32 and the bytes a string cannot
                # hold plainly are escaped.
                line += "\\%03o" % code
                if code % 8 == 0:
                    line += " "
                if code % 64 == 0:
                    ops.append("(%s) '" % line)
                    line = ""
            ops.append("(%s) ' ET" % line)
        pdf.stream(num + 1, "", "\n".join(ops) + "\n")
    pdf.obj(2, "<< /Type /Pages /Kids [%s] /Count %d >>" % (" ".join(kids), len(kids)))
    open(path, "wb").write(pdf.build())


def widths_array(first, widths):
    return "/FirstChar %d /LastChar %d /Widths [%s]" % (first, first + len(widths) - 1,
                                                      " ".join(str(w) for w in widths))


def spacing(path):
    """Kept widths under every operator that moves text: Tz, Tc, Tw (on the
    one-byte space), TJ adjustments, text rise; a font whose /Widths start
    at 65, and one that draws codes its encoding leaves unassigned (with
    widths for them)."""
    pdf = Pdf()
    pdf.obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
    pdf.obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
    pdf.obj(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
               "/Resources << /Font << /F1 5 0 R /F2 6 0 R /F3 7 0 R /F4 8 0 R >> >> >>")
    # Arial's widths for 32..126; a font starting at 65 ("A").
    arial = [278, 278, 355, 556, 556, 889, 667, 191, 333, 333, 389, 584, 278, 333, 278, 278, 556, 556, 556, 556,
             556, 556, 556, 556, 556, 556, 278, 278, 584, 584, 584, 556, 1015, 667, 667, 722, 722, 667, 611, 778,
             722, 278, 500, 667, 556, 833, 722, 778, 667, 778, 722, 667, 611, 722, 667, 944, 667, 667, 611, 278,
             278, 278, 469, 556, 333, 556, 556, 500, 556, 556, 278, 556, 556, 222, 222, 500, 222, 833, 556, 556,
             556, 556, 333, 500, 278, 556, 500, 722, 500, 500, 500, 334, 260, 334, 584]
    pdf.obj(5, "<< /Type /Font /Subtype /TrueType /BaseFont /ArialMT /Encoding /WinAnsiEncoding %s "
               "/FontDescriptor 9 0 R >>" % widths_array(32, arial))
    pdf.obj(6, "<< /Type /Font /Subtype /TrueType /BaseFont /Arial,Bold /Encoding /WinAnsiEncoding %s "
               "/FontDescriptor 10 0 R >>" % widths_array(65, arial[33:]))
    # Codes 127-129 and 141 are unassigned in WinAnsi; this font gives them
    # widths and names through /Differences on the first two only.
    pdf.obj(7, "<< /Type /Font /Subtype /TrueType /BaseFont /TimesNewRomanPSMT /Encoding << /Type /Encoding "
               "/BaseEncoding /WinAnsiEncoding /Differences [127 /bullet /endash] >> %s /FontDescriptor 11 0 R >>"
               % widths_array(32, [250] * 95 + [350, 500, 700] + [0] * 11 + [444] + [500] * 114))
    pdf.obj(8, std_font("Courier"))
    pdf.obj(9, "<< /Type /FontDescriptor /FontName /ArialMT /Flags 32 /FontBBox [-665 -325 2000 1006] "
               "/ItalicAngle 0 /Ascent 905 /Descent -212 /CapHeight 716 /StemV 80 >>")
    pdf.obj(10, "<< /Type /FontDescriptor /FontName /Arial,Bold /Flags 262176 /FontBBox [-628 -376 2000 1010] "
                "/ItalicAngle 0 /Ascent 905 /Descent -212 /CapHeight 716 /StemV 120 >>")
    pdf.obj(11, "<< /Type /FontDescriptor /FontName /TimesNewRomanPSMT /Flags 34 /FontBBox [-568 -307 2000 1007] "
                "/ItalicAngle 0 /Ascent 891 /Descent -216 /CapHeight 662 /StemV 80 >>")
    lines = [
        "BT /F1 12 Tf 72 740 Td (Plain words at twelve points, nothing else.) Tj ET",
        "BT /F1 12 Tf 150 Tz 72 720 Td (Wide words under one hundred fifty Tz.) Tj ET",
        "BT /F1 12 Tf 60 Tz 72 700 Td (Narrow words under sixty Tz scaling.) Tj ET",
        "BT /F1 12 Tf 1.5 Tc 72 680 Td (Character spacing of one and a half.) Tj ET",
        "BT /F1 12 Tf 6 Tw 72 660 Td (Word spacing of six points per blank.) Tj ET",
        "BT /F1 12 Tf 2 Tc 4 Tw 120 Tz 72 640 Td (All three: Tc, Tw and Tz at once.) Tj ET",
        "BT /F1 12 Tf 72 620 Td [(Kerned) -250 (T) 80 (o) 80 (w) 20 (ard words) -1000 (far) 500 (apart)] TJ ET",
        "BT /F1 12 Tf 3 Tw 72 600 Td [(TJ with) -300 ( Tw blanks) 200 ( inside)] TJ ET",
        "BT /F1 12 Tf 72 580 Td 3 Ts (Raised) Tj -3 Ts ( and lowered) Tj 0 Ts ( text) Tj ET",
        "BT /F2 12 Tf 72 560 Td (BOLD CAPITALS FROM SIXTY FIVE) Tj ET",
        "BT /F2 12 Tf 2 Tw 72 540 Td (Bold Words With Tw And First Char) Tj ET",
        "BT /F3 12 Tf 72 520 Td (Bullets \\177 and dashes \\200 and \\201 \\215 unassigned.) Tj ET",
        "BT /F3 12 Tf 5 Tw 72 500 Td (More \\177 words \\200 with Tw \\201 set.) Tj ET",
        "BT /F4 10 Tf 72 480 Td 1 Tc (Courier with Tc: fixed pitch.) Tj ET",
        "BT /F4 10 Tf 72 460 Td 80 Tz 4 Tw (Courier with Tz and Tw together.) Tj ET",
        "BT /F1 12 Tf 2 0 0 1 72 440 Tm (Stretched by the text matrix.) Tj ET",
        "BT /F1 12 Tf 72 420 Td 14 TL (First line) Tj T* (second line by T*) Tj "
        "2 1 (third by the quote operator) \" ET",
    ]
    pdf.stream(4, "", "\n".join(lines) + "\n")
    open(path, "wb").write(pdf.build())


def no_twin(path):
    """TrueType fonts no installed face is metric-compatible with, each with
    its own /Widths and descriptor flags: sans, serif, mono, script, a
    symbol-class text font, bold and italic by name or by flags only."""
    pdf = Pdf()
    pdf.obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
    pdf.obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
    faces = [  # base font, flags, stem, sample widths factor
        ("Tahoma", 32, 80, 1.0), ("Verdana,Bold", 32 | 262144, 140, 1.12), ("ArialNarrow", 32, 80, 0.82),
        ("Monaco", 33, 80, None), ("SegoeUISymbol", 32, 80, 1.05), ("BrushScriptMT", 32 | 8 | 64, 60, 0.8),
        ("Georgia-BoldItalic", 34 | 64, 140, 1.08), ("BookAntiqua", 34, 80, 1.0), ("Candara", 96, 80, 0.95),
    ]
    arialish = [278, 278, 355, 556, 556, 889, 667, 191, 333, 333, 389, 584, 278, 333, 278, 278] + [556] * 10 + \
               [278, 278, 584, 584, 584, 556, 1015] + [667, 667, 722, 722, 667, 611, 778, 722, 278, 500, 667, 556,
                                                      833, 722, 778, 667, 778, 722, 667, 611, 722, 667, 944, 667,
                                                      667, 611] + \
               [278, 278, 278, 469, 556, 333] + [556, 556, 500, 556, 556, 278, 556, 556, 222, 222, 500, 222, 833,
                                                 556, 556, 556, 556, 333, 500, 278, 556, 500, 722, 500, 500, 500] + \
               [334, 260, 334, 584]
    names = []
    ops = []
    for k, (base, flags, stem, factor) in enumerate(faces):
        font, desc = 10 + 2 * k, 11 + 2 * k
        widths = [600] * 95 if factor is None else [int(w * factor) for w in arialish]
        widths += [int(500 * (factor or 1.2))] * (255 - 126)
        pdf.obj(font, "<< /Type /Font /Subtype /TrueType /BaseFont /%s /Encoding /WinAnsiEncoding %s "
                      "/FontDescriptor %d 0 R >>" % (base, widths_array(32, widths), desc))
        pdf.obj(desc, "<< /Type /FontDescriptor /FontName /%s /Flags %d /FontBBox [-600 -300 1800 1000] "
                      "/ItalicAngle %d /Ascent 900 /Descent -220 /CapHeight 700 /StemV %d >>"
                      % (base, flags, -12 if flags & 64 else 0, stem))
        names.append("/T%d %d 0 R" % (k, font))
        ops.append("BT /T%d 13 Tf 60 %d Td (%s: The quick brown fox jumps over the lazy dog \\327 \\261.) Tj ET"
                   % (k, 740 - 40 * k, base))
    pdf.obj(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
               "/Resources << /Font << %s >> >> >>" % " ".join(names))
    pdf.stream(4, "", "\n".join(ops) + "\n")
    open(path, "wb").write(pdf.build())


def reached_indirectly(path):
    """Text a page draws only through a tiling pattern, a Type 3 glyph and an
    annotation appearance without resources, each with a page font."""
    pdf = Pdf()
    pdf.obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
    pdf.obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
    pdf.obj(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R /Annots [9 0 R] "
               "/Resources << /Font << /F1 5 0 R /F2 6 0 R /T3 7 0 R >> /Pattern << /P1 8 0 R >> >> >>")
    pdf.obj(5, std_font("Helvetica"))
    pdf.obj(6, std_font("Times-Roman"))
    # A Type 3 font without resources: its glyph draws "Hx" with /F1 of
    # the page that uses it.
    pdf.stream(10, "", "1500 0 d0 BT /F1 800 Tf 0 100 Td (Hx) Tj ET\n")
    pdf.obj(7, "<< /Type /Font /Subtype /Type3 /FontBBox [0 0 1500 1000] /FontMatrix [0.001 0 0 0.001 0 0] "
               "/CharProcs << /a 10 0 R >> /Encoding << /Type /Encoding /Differences [97 /a] >> "
               "/FirstChar 97 /LastChar 97 /Widths [1500] >>")
    # A tiling pattern whose cell writes "Wq" with /F2 (its own resources
    # name the page's font object).
    pdf.stream(8, "/Type /Pattern /PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 60 30] /XStep 60 "
                  "/YStep 30 /Resources << /Font << /F2 6 0 R >> >>",
               "BT /F2 18 Tf 2 8 Td (Wq) Tj ET\n")
    pdf.stream(4, "", "BT /F1 14 Tf 72 740 Td (Page text in Helvetica.) Tj ET\n"
                      "q /Pattern cs /P1 scn 72 500 300 200 re f Q\n"
                      "BT /T3 30 Tf 72 400 Td (aaa) Tj ET\n")
    pdf.obj(9, "<< /Type /Annot /Subtype /FreeText /Rect [72 300 400 340] /Contents (Vexing jumbo quiz) "
               "/DA (/F1 16 Tf 0 g) /AP << /N 11 0 R >> >>")
    pdf.stream(11, "/Type /XObject /Subtype /Form /BBox [0 0 328 40]",
               "BT /F1 16 Tf 4 14 Td (Vexing jumbo quiz) Tj ET\n")
    open(path, "wb").write(pdf.build())


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    form_deck(os.path.join(folder, "form-deck-inherited.pdf"))
    interactive_form(os.path.join(folder, "acroform-default-font.pdf"))
    damaged_content(os.path.join(folder, "damaged-flate-content.pdf"))
    all_codes(os.path.join(folder, "std14-all-codes.pdf"))
    spacing(os.path.join(folder, "spacing-operators.pdf"))
    no_twin(os.path.join(folder, "no-metric-twin.pdf"))
    reached_indirectly(os.path.join(folder, "reached-indirectly.pdf"))


if __name__ == "__main__":
    main()

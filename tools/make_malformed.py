#!/usr/bin/env python3
"""Writes the hand-crafted damaged files of tests/data/malformed/ that probe
memory and time bounds: sizes the file declares but cannot hold. Each file
is small; opening it must end quickly with bounded memory. Run from the
repository root; the files are checked in, so this is only needed to change
them."""
import os
import sys
import zlib

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "data", "malformed")


def build(objects, trailer="/Root 1 0 R", xref=None, version="1.4"):
    """A classic file from {num: body}; xref replaces the computed table
    (given the offsets) when a test needs a lying one."""
    out = b"%PDF-" + version.encode() + b"\n%\xe2\xe3\xcf\xd3\n"
    offsets = {}
    for num in sorted(objects):
        offsets[num] = len(out)
        body = objects[num]
        if isinstance(body, str):
            body = body.encode("latin-1")
        out += b"%d 0 obj\n" % num + body + b"\nendobj\n"
    xref_pos = len(out)
    size = max(objects) + 1
    if xref is None:
        table = b"xref\n0 %d\n" % size
        for i in range(size):
            if i in offsets:
                table += b"%010d 00000 n\r\n" % offsets[i]
            else:
                table += b"0000000000 65535 f\r\n"
    else:
        table = xref(offsets)
    out += table
    out += b"trailer\n<< /Size %d " % size + trailer.encode() + b" >>\nstartxref\n%d\n%%%%EOF\n" % xref_pos
    return out


def stream(dict_entries, data):
    return b"<< " + dict_entries.encode() + b" /Length %d >>\nstream\n" % len(data) + data + b"\nendstream"


def page_doc(content, resources="/Font << /F1 4 0 R >>", content_dict="", extra=None, pages_extra=""):
    objects = {
        1: "<< /Type /Catalog /Pages 2 0 R >>",
        2: "<< /Type /Pages /Kids [3 0 R] /Count 1 " + pages_extra + " >>",
        3: "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << " + resources
        + " >> /Contents 5 0 R >>",
        4: "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
        5: stream(content_dict, content) if content is not None else "<< /Length 0 >>\nstream\n\nendstream",
    }
    if extra:
        objects.update(extra)
    return objects


def flate(data):
    return zlib.compress(data, 9)


def huge_length():
    # /Length far beyond the end of the file: only the bytes that exist are read.
    objs = page_doc(b"BT /F1 12 Tf 72 720 Td (Hallo) Tj ET")
    objs[5] = b"<< /Length 2000000000 >>\nstream\nBT /F1 12 Tf 72 720 Td (Hallo) Tj ET\nendstream"
    return build(objs)


def image_doc(image_obj):
    return build(page_doc(b"q 100 0 0 100 0 0 cm /Im1 Do Q", resources="/XObject << /Im1 6 0 R >>",
                          extra={6: image_obj}))


def huge_flate_image(bits):
    # A few bytes of Flate data that claim a 16384 x 16384 picture.
    data = flate(b"\x00" * 64)
    return image_doc(stream("/Type /XObject /Subtype /Image /Width 16384 /Height 16384 /ColorSpace /DeviceGray "
                            "/BitsPerComponent %d /Filter /FlateDecode" % bits, data))


def huge_jpeg_image():
    # A 16 x 16 JPEG whose frame header was changed to say 16000 x 16000.
    jpeg = bytearray(open(sys.argv[1] if len(sys.argv) > 1 else "/tmp/tiny.jpg", "rb").read())
    i = 0
    while not (jpeg[i] == 0xFF and jpeg[i + 1] in (0xC0, 0xC1, 0xC2)):
        i += 1
    jpeg[i + 5:i + 9] = (16000).to_bytes(2, "big") + (16000).to_bytes(2, "big")
    return image_doc(stream("/Type /XObject /Subtype /Image /Width 16000 /Height 16000 /ColorSpace /DeviceGray "
                            "/BitsPerComponent 8 /Filter /DCTDecode", bytes(jpeg)))


def huge_ccitt_image():
    # 16383 x 16383 at one bit per pixel (32 MB); the data are 32 rows of
    # Group 4 "V0" codes, all white, after which the decoder runs dry.
    return image_doc(stream("/Type /XObject /Subtype /Image /Width 16383 /Height 16383 /BitsPerComponent 1 "
                            "/Filter /CCITTFaxDecode /DecodeParms << /K -1 /Columns 16383 >>", b"\xff" * 4))


def xref_million_objects():
    # The subsection claims 8 million entries; the file holds five.
    def table(offsets):
        t = b"xref\n0 8000000\n0000000000 65535 f\r\n"
        for i in range(1, 6):
            t += b"%010d 00000 n\r\n" % offsets[i]
        return t
    return build(page_doc(b"BT /F1 12 Tf 72 720 Td (Hallo) Tj ET"), xref=table)


def xref_high_object_number():
    # One entry numbered just below the largest object number PDF allows.
    def table(offsets):
        t = b"xref\n0 6\n0000000000 65535 f\r\n"
        for i in range(1, 6):
            t += b"%010d 00000 n\r\n" % offsets[i]
        return t + b"8388600 1\n%010d 00000 n\r\n" % offsets[4]
    return build(page_doc(b"BT /F1 12 Tf 72 720 Td (Hallo) Tj ET"), xref=table)


def nested_content():
    # 100000 opening brackets and dictionary markers in a content stream.
    content = b"[" * 50000 + b"<<" * 50000 + b" BT /F1 12 Tf 72 720 Td (Hallo) Tj ET"
    return build(page_doc(flate(content), content_dict="/Filter /FlateDecode"))


def million_q():
    # Three million "q" without a "Q": the saved states are bounded.
    content = b"q " * 3000000 + b"BT /F1 12 Tf 72 720 Td (Hallo) Tj ET"
    return build(page_doc(flate(content), content_dict="/Filter /FlateDecode"))


def huge_count():
    # The page tree root claims two billion pages; one is there.
    objs = page_doc(b"BT /F1 12 Tf 72 720 Td (Hallo) Tj ET")
    objs[2] = "<< /Type /Pages /Kids [3 0 R] /Count 2000000000 >>"
    return build(objs)


def flate_bomb_content():
    # 16 MB of zeros in 16 kB of Flate data as a page content.
    return build(page_doc(flate(b"\x00" * (16 << 20)), content_dict="/Filter /FlateDecode"))


def shared_bomb_pages():
    # 40 pages share one content stream of 2 MB blanks in 2 kB of Flate data:
    # each page decodes and keeps it again, 80 MB from a 5 kB file.
    pages = 40
    objects = {1: "<< /Type /Catalog /Pages 2 0 R >>",
               4: "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
               5: stream("/Filter /FlateDecode", flate(b"BT /F1 12 Tf 72 720 Td (Hallo) Tj ET " + b" " * (2 << 20)))}
    kids = []
    for i in range(pages):
        num = 10 + i
        kids.append("%d 0 R" % num)
        objects[num] = ("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 4 0 R >> >>"
                        " /Contents 5 0 R >>")
    objects[2] = "<< /Type /Pages /Kids [" + " ".join(kids) + "] /Count %d >>" % pages
    return build(objects)


FILES = {
    "huge-length.pdf": huge_length,
    "huge-flate-image-8bpc.pdf": lambda: huge_flate_image(8),
    "huge-flate-image-32bpc.pdf": lambda: huge_flate_image(32),
    "huge-jpeg-image.pdf": huge_jpeg_image,
    "huge-ccitt-image.pdf": huge_ccitt_image,
    "xref-million-objects.pdf": xref_million_objects,
    "xref-high-object-number.pdf": xref_high_object_number,
    "nested-content.pdf": nested_content,
    "million-q.pdf": million_q,
    "huge-count.pdf": huge_count,
    "flate-bomb-content.pdf": flate_bomb_content,
    "shared-bomb-pages.pdf": shared_bomb_pages,
}

if __name__ == "__main__":
    os.makedirs(OUT, exist_ok=True)
    for name, make in FILES.items():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(make())


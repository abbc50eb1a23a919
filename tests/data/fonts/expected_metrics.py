#!/usr/bin/env python3
"""Writes the fontDictExtra text expected for an added TrueType font, read
straight from the font file's tables (head, hhea, OS/2, post, cmap, hmtx)
without FreeType, as an independent check of the C++ reader.

Usage: expected_metrics.py FONT.ttf > EXPECTED.txt
"""
import struct
import sys


def tables(data):
    count = struct.unpack(">H", data[4:6])[0]
    found = {}
    for i in range(count):
        tag, _, offset, length = struct.unpack(">4sIII", data[12 + 16 * i:28 + 16 * i])
        found[tag.decode("latin-1")] = (offset, length)
    return found


def unicode_cmap(data, tab):
    base = tab["cmap"][0]
    count = struct.unpack(">H", data[base + 2:base + 4])[0]
    sub = None
    for i in range(count):
        pid, eid, offset = struct.unpack(">HHI", data[base + 4 + 8 * i:base + 12 + 8 * i])
        if pid == 3 and eid == 1:
            sub = base + offset
    assert struct.unpack(">H", data[sub:sub + 2])[0] == 4
    seg2 = struct.unpack(">H", data[sub + 6:sub + 8])[0]
    segs = seg2 // 2
    ends = struct.unpack(">%dH" % segs, data[sub + 14:sub + 14 + seg2])
    p = sub + 16 + seg2
    starts = struct.unpack(">%dH" % segs, data[p:p + seg2])
    deltas = struct.unpack(">%dh" % segs, data[p + seg2:p + 2 * seg2])
    ranges = struct.unpack(">%dH" % segs, data[p + 2 * seg2:p + 3 * seg2])

    def glyph(u):
        for i in range(segs):
            if starts[i] <= u <= ends[i]:
                if ranges[i] == 0:
                    return (u + deltas[i]) & 0xFFFF
                at = p + 2 * seg2 + 2 * i + ranges[i] + 2 * (u - starts[i])
                g = struct.unpack(">H", data[at:at + 2])[0]
                return (g + deltas[i]) & 0xFFFF if g else 0
        return 0
    return glyph


def main(path):
    data = open(path, "rb").read()
    tab = tables(data)
    head = tab["head"][0]
    upem = struct.unpack(">H", data[head + 18:head + 20])[0]
    box = struct.unpack(">hhhh", data[head + 36:head + 44])
    hhea = tab["hhea"][0]
    metrics_count = struct.unpack(">H", data[hhea + 34:hhea + 36])[0]
    os2 = tab["OS/2"][0]
    ascent, descent = struct.unpack(">hh", data[os2 + 68:os2 + 72])
    angle = struct.unpack(">i", data[tab["post"][0] + 4:tab["post"][0] + 8])[0] / 65536
    hmtx = tab["hmtx"][0]
    glyph = unicode_cmap(data, tab)

    def advance(g):
        g = min(g, metrics_count - 1)
        return struct.unpack(">H", data[hmtx + 4 * g:hmtx + 4 * g + 2])[0]

    def scale(v):  # rounded down: boxes and the descent move outward
        return (v * 1000) // upem

    widths = []
    for code in range(32, 256):
        try:
            u = ord(bytes([code]).decode("cp1252"))
        except UnicodeDecodeError:
            u = None
        widths.append(scale(advance(glyph(u) if u is not None else 0)))
    angle_text = ("%g" % round(angle, 2))
    text = ("/FontDescriptor <</Type/FontDescriptor /FontBBox[%d %d %d %d] /Flags 4/Ascent %d/Descent %d"
            "/ItalicAngle %s>> /FirstChar 32 /LastChar 255 /Widths [" %
            (scale(box[0]), scale(box[1]), scale(box[2]), scale(box[3]), scale(ascent), scale(descent), angle_text))
    text += "".join("%d " % w for w in widths) + "] "
    sys.stdout.write(text)


if __name__ == "__main__":
    main(sys.argv[1])

#!/usr/bin/python3
"""Makes the embedded-subset fonts of the replacement tests, the way office
programs and TeX write them: the glyphs of "Hello World" with the codes 1 to
8 in the order of first use (H e l o space W r d).

  subset-symbolic-30.ttf   Liberation Sans; only a (3,0) cmap (F001..F008),
                           glyph names in the post table
  subset-mac10-unicode31.ttf  Liberation Sans; a (1,0) cmap with the codes
                           and a (3,1) cmap with the characters, no names
  subset-custom.cff        Nimbus Sans as a bare CFF with a charset and its
                           own encoding of the codes

Run with Debian's python3-fonttools from this folder; the fonts are kept in
the repository, so the tests need no fontTools."""
import io
from fontTools import subset
from fontTools.cffLib import CFFFontSet
from fontTools.ttLib import TTFont
from fontTools.ttLib.tables._c_m_a_p import CmapSubtable

TEXT = "Hello World"
ORDER = ["H", "e", "l", "o", "space", "W", "r", "d"]  # codes 1..8
CHARS = "Helo Wrd"


def subset_font(path, keep_names):
    font = TTFont(path)
    options = subset.Options()
    options.glyph_names = keep_names
    options.notdef_outline = True
    options.name_IDs = ["*"]
    options.layout_features = []
    options.hinting = False
    sub = subset.Subsetter(options)
    sub.populate(text=TEXT)
    sub.subset(font)
    return font


def cmap_table(platform, encoding, mapping):
    table = CmapSubtable.newSubtable(4 if platform == 3 else 0)
    table.platformID, table.platEncID, table.language = platform, encoding, 0
    table.cmap = mapping
    return table


def symbolic_30():
    font = subset_font("/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf", True)
    font["cmap"].tables = [cmap_table(3, 0, {0xF001 + k: name for k, name in enumerate(ORDER)})]
    font["OS/2"].ulCodePageRange1 = 1 << 31  # symbol character set
    font.save("subset-symbolic-30.ttf")


def mac10_unicode31():
    font = subset_font("/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf", True)
    unicode = {ord(ch): name for ch, name in zip(CHARS, ORDER)}
    font["cmap"].tables = [cmap_table(1, 0, {k + 1: name for k, name in enumerate(ORDER)}),
                           cmap_table(3, 1, unicode)]
    # No glyph names: they must come from the Unicode map.
    font["post"].formatType = 3.0
    font.save("subset-mac10-unicode31.ttf")


def custom_cff():
    font = subset_font("/usr/share/fonts/opentype/urw-base35/NimbusSans-Regular.otf", True)
    cff = font["CFF "].cff
    top = cff[cff.fontNames[0]]
    encoding = [".notdef"] * 256
    for k, name in enumerate(ORDER):
        encoding[k + 1] = name
    top.Encoding = encoding
    data = io.BytesIO()
    cff.compile(data, font)
    open("subset-custom.cff", "wb").write(data.getvalue())


symbolic_30()
mac10_unicode31()
custom_cff()

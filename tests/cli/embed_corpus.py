#!/usr/bin/env python3
"""glyphwell-cli embed over every PDF of the given folders, checked with
poppler's tools and qpdf: afterwards no font is left unembedded (Type 3
fonts aside), the
interactive form's default fonts are embedded too, the
text is the same and every word keeps its horizontal extent within 0.01 pt,
each of the first pages renders with 85-118 % of the ink it had, qpdf
--check finds nothing new and the JSON report names every font that was
not embedded before. The last line counts the files that had fonts not
embedded and how many of them came out with every text font embedded.

Usage: embed_corpus.py CLI OUTDIR FOLDER..."""
import glob
import json
import tempfile
import os
import re
import shutil
import subprocess
import sys
import unicodedata

WORD = re.compile(r'<page |<word xMin="([0-9.]+)" yMin="[0-9.]+" xMax="([0-9.]+)" yMax="[0-9.]+">([^<]*)</word>')
TOLERANCE = 0.01


def run(args, env=None):
    return subprocess.run(args, capture_output=True, timeout=600, env=env)


def words(path):
    html = run(["pdftotext", "-bbox", path, "-"]).stdout.decode("utf-8", "replace")
    pages = []
    for m in WORD.finditer(html):
        if m.group(0) == "<page ":
            pages.append([])
        else:
            pages[-1].append((float(m.group(1)), float(m.group(2)), m.group(3)))
    return pages


FONT_LINE = re.compile(r"^(.*?)\s+(Type 1C \(OT\)|Type 1C|Type 1|Type 3|TrueType \(OT\)|TrueType|CID Type 0C \(OT\)|"
                       r"CID Type 0C|CID Type 0|CID TrueType \(OT\)|CID TrueType|unknown)\s+\S+\s+(yes|no)\s+(yes|no)\s+"
                       r"(yes|no)\s+\d+\s+\d+\s*$")


def fonts(path):
    """(name without subset tag, type, embedded) per font object of pdffonts;
    poppler's "[none]" lines (a form's default font) are no font of the file.
    Read from the right: a long name pushes the columns out of place."""
    lines = run(["pdffonts", path]).stdout.decode("utf-8", "replace").splitlines()
    rows = []
    for line in lines[2:]:
        m = FONT_LINE.match(line)
        if not m or m.group(1) == "[none]":
            continue
        rows.append((re.sub(r"^[A-Z]{6}\+", "", m.group(1)), m.group(2), m.group(3) == "yes"))
    return rows


INK_PAGES = 3
INK_RANGE = (0.85, 1.18)


def ink(path, folder, env=None):
    """Per page (the first INK_PAGES), the pixels of pdftoppm's 50 dpi gray
    rendering far from the page's background (its most common value)."""
    prefix = os.path.join(folder, "p")
    run(["pdftoppm", "-q", "-r", "50", "-gray", "-l", str(INK_PAGES), path, prefix], env)
    counts = []
    for name in sorted(glob.glob(prefix + "-*.pgm")):
        with open(name, "rb") as image:
            data = image.read()
        os.remove(name)
        header = data.split(b"\n", 3)
        width, height = map(int, header[1].split())
        histogram = [0] * 256
        for value in header[3][:width * height]:
            histogram[value] += 1
        background = max(range(256), key=lambda v: histogram[v])
        counts.append(sum(n for v, n in enumerate(histogram) if abs(v - background) >= 64))
    return counts


def compare_ink(source, output):
    """A glyph that is no longer drawn, or drawn where nothing was, shows as
    ink; pdftotext reads /ToUnicode and cannot see it."""
    with tempfile.TemporaryDirectory() as folder:
        before = ink(source, folder)
        after = ink(output, folder)
    # An input poppler cannot read (our reader repairs it) has nothing to
    # compare with.
    if before and len(before) != len(after):
        return "rendered %d pages, now %d" % (len(before), len(after))
    for page, (a, b) in enumerate(zip(before, after), 1):
        # A page poppler draws nothing of (a damaged input our reader
        # repairs) has nothing to compare with.
        if a == 0:
            continue
        if not INK_RANGE[0] <= b / a <= INK_RANGE[1]:
            return "page %d: ink %d -> %d (%.0f %%)" % (page, a, b, 100.0 * b / a)
    return None


def form_default_fonts(path):
    """(name, embedded) of each font of the interactive form's /DR, which
    pdffonts does not list."""
    result = run(["qpdf", "--json=2", "--json-key=qpdf", path])
    try:
        objects = json.loads(result.stdout)["qpdf"][1]
    except (ValueError, KeyError, IndexError):
        return []

    def value(item):
        if isinstance(item, str) and item.endswith(" R"):
            return objects.get("obj:" + item, {}).get("value")
        return item

    catalog = next((value(o.get("value")) for o in objects.values()
                    if isinstance(o.get("value"), dict) and o["value"].get("/Type") == "/Catalog"), None)
    acroform = value((catalog or {}).get("/AcroForm")) or {}
    fonts = value((value(acroform.get("/DR")) or {}).get("/Font")) or {}
    found = []
    for font in fonts.values():
        font = value(font) or {}
        descriptor = value(font.get("/FontDescriptor")) or {}
        embedded = any(k in descriptor for k in ("/FontFile", "/FontFile2", "/FontFile3"))
        found.append((str(font.get("/BaseFont", "?")).lstrip("/"), embedded or font.get("/Subtype") == "/Type3"))
    return found


def compare_words(before, after):
    if len(before) != len(after):
        return "page count %d -> %d" % (len(before), len(after))
    for p, (a, b) in enumerate(zip(before, after), 1):
        if len(a) != len(b):
            return "page %d: %d words -> %d" % (p, len(a), len(b))
        for (x0, x1, ta), (y0, y1, tb) in zip(a, b):
            # A ligature read back as one character ("\ufb01" for "fi")
            # is the same text.
            if unicodedata.normalize("NFKC", ta) != unicodedata.normalize("NFKC", tb):
                return "page %d: word %r became %r" % (p, ta, tb)
            if abs(x0 - y0) > TOLERANCE or abs(x1 - y1) > TOLERANCE:
                return "page %d: %r moved from %.3f..%.3f to %.3f..%.3f" % (p, ta, x0, x1, y0, y1)
    return None


def known_limits():
    """File name -> why the check cannot pass yet, from known-limits.tsv."""
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "embed-known-limits.tsv")
    limits = {}
    with open(path, encoding="utf-8") as table:
        for line in table:
            if line.strip() and not line.startswith("#"):
                name, reason = line.rstrip("\n").split("\t", 1)
                limits[name] = reason
    return limits


def not_embedded(path):
    """The fonts of the file no viewer finds in it."""
    names = [n for n, kind, embedded in fonts(path) if not embedded and kind != "Type 3"]
    names += [n for n, embedded in form_default_fonts(path) if not embedded]
    return sorted(set(names))


def check(entry, tally):
    """The problems of one written file; `tally` collects, per file that had
    fonts not embedded, what is left of them afterwards."""
    problems = []
    source, output = entry["input"], entry.get("output")
    if entry["status"] == 7:
        # Changes forbidden by the file's permissions: nothing is written.
        return ["written although changes are forbidden"] if output and os.path.exists(output) else problems
    if entry["status"] not in (0, 6):
        return problems  # not opened: nothing written, nothing to check
    if not output or not os.path.exists(output):
        return ["no output written"]
    reported = {}
    for font in entry["fonts"]:
        reported.setdefault(re.sub(r"^[A-Z]{6}\+", "", font["font"]), set()).add(font["action"])
    unmatched = {n for n, acts in reported.items() if acts & {"no-good-match", "family-not-installed"}}
    approximated = {n for n, acts in reported.items() if "substitute" in acts} | unmatched
    approximated |= {f["font"] for f in entry["fonts"] if f.get("keptOnPages")}
    # Embedded fonts no rule names stay as they are.
    left_alone = {n for n, acts in reported.items() if acts == {"left-alone"}}
    if bool(approximated) != (entry["status"] == 6):
        problems.append("status %d but approximated or unmatched fonts %s" % (entry["status"], sorted(approximated)))
    # Every font finds a face: a text font at least a similar one, Symbol
    # and ZapfDingbats their URW clones.
    for name in sorted(unmatched):
        problems.append("font %s found no face" % name)

    for name, kind, embedded in fonts(source):
        if not embedded and kind != "Type 3" and name not in reported:
            problems.append("font %s not in the report" % name)
    for name, kind, embedded in fonts(output):
        if embedded or kind == "Type 3" or name in unmatched or name in left_alone:
            continue
        problems.append("font %s (%s) still not embedded" % (name, kind))

    for name, embedded in form_default_fonts(output):
        if not embedded:
            problems.append("default font %s of the form still not embedded" % name)
    shift = compare_ink(source, output)
    if shift:
        problems.append(shift)

    missing_before = not_embedded(source)
    if missing_before:
        tally[os.path.basename(source)] = (not_embedded(output), problems)

    before = words(source)
    # Where poppler cannot read the input (repaired by our reader), or reads
    # no word on any page (a cut file whose pages it only counts), there is
    # nothing to compare with.
    shift = any(before) and compare_words(before, words(output))
    if shift:
        problems.append(shift)
    # Warnings the input already has (an empty object kept as it is) are
    # not the embedding's doing.
    # qpdf: 0 clean, 3 warnings, 2 errors.
    severity = {0: 0, 3: 1, 2: 2}
    qpdf = run(["qpdf", "--check", output])
    if severity.get(qpdf.returncode, 3) > severity.get(run(["qpdf", "--check", source]).returncode, 3):
        problems.append("qpdf --check: exit %d %s" % (qpdf.returncode, qpdf.stderr.decode()[-300:]))
    return problems


def main():
    cli, outdir, folders = sys.argv[1], sys.argv[2], sys.argv[3:]
    shutil.rmtree(outdir, ignore_errors=True)
    failed = 0
    checked = 0
    limits = known_limits()
    tally = {}
    for n, folder in enumerate(folders):
        inputs = sorted(glob.glob(os.path.join(folder, "*.pdf")))
        if not inputs:
            print("FAIL %s: no PDF files" % folder)
            failed += 1
            continue
        target = os.path.join(outdir, str(n))
        os.makedirs(target)
        result = run([cli, "embed", "--json", "-o", target] + inputs)
        # 7: some file's permissions forbid changes; its entry says so.
        if result.returncode > 7:
            print("FAIL %s: exit %d\n%s" % (folder, result.returncode, result.stderr.decode()[-2000:]))
            failed += 1
            continue
        report = json.loads(result.stdout)
        if [e["input"] for e in report] != inputs:
            print("FAIL %s: report not in input order" % folder)
            failed += 1
        for entry in report:
            problems = check(entry, tally)
            checked += entry["status"] in (0, 6)
            name = os.path.basename(entry["input"])
            if problems and name in limits:
                print("known %s: %s (%s)" % (name, limits[name], problems[0]))
            elif problems:
                failed += 1
                print("FAIL %s" % name)
                for problem in problems:
                    print("     " + problem)
            else:
                print("ok   %s: status %d, %d fonts" % (name, entry["status"], len(entry["fonts"])))
    whole = [name for name, (left, problems) in tally.items() if not left and not problems]
    for name, (left, problems) in sorted(tally.items()):
        if left or problems:
            print("not whole %s: %s" % (name, "; ".join(["still not embedded: " + ", ".join(left)] * bool(left) +
                                                          problems[:1])))
    print("%d of %d files with fonts not embedded came out with every text font embedded and nothing else changed"
          % (len(whole), len(tally)))
    print("%d files written and checked, %d failed" % (checked, failed))
    return 1 if failed or checked == 0 else 0


if __name__ == "__main__":
    sys.exit(main())

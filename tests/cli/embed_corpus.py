#!/usr/bin/env python3
"""glyphwell-cli embed over every PDF of the given folders, checked with
poppler's tools and qpdf: afterwards no font is left unembedded except
those the report calls "no good match" (or leaves alone as Type 3), every
word keeps its horizontal extent within 0.01 pt, qpdf --check is clean and
the JSON report names every font that was not embedded before.

Usage: embed_corpus.py CLI OUTDIR FOLDER..."""
import glob
import json
import os
import re
import shutil
import subprocess
import sys
import unicodedata

WORD = re.compile(r'<page |<word xMin="([0-9.]+)" yMin="[0-9.]+" xMax="([0-9.]+)" yMax="[0-9.]+">([^<]*)</word>')
TOLERANCE = 0.01


def run(args):
    return subprocess.run(args, capture_output=True, timeout=600)


def words(path):
    html = run(["pdftotext", "-bbox", path, "-"]).stdout.decode("utf-8", "replace")
    pages = []
    for m in WORD.finditer(html):
        if m.group(0) == "<page ":
            pages.append([])
        else:
            pages[-1].append((float(m.group(1)), float(m.group(2)), m.group(3)))
    return pages


# A symbol font keeps its codes only with a symbol font; none is installed
# as TrueType, so these two stay as they are.
SYMBOL_FONTS = {"Symbol", "ZapfDingbats"}


def fonts(path):
    """(name without subset tag, type, embedded) per font object of pdffonts;
    poppler's "[none]" lines (a form's default font) are no font of the file."""
    lines = run(["pdffonts", path]).stdout.decode("utf-8", "replace").splitlines()
    if len(lines) < 2:
        return []
    # The columns start where the dashes of the second line start.
    starts = [m.start() for m in re.finditer(r"-+", lines[1])]
    rows = []
    for line in lines[2:]:
        cells = [line[a:b].strip() for a, b in zip(starts, starts[1:] + [len(line)])]
        if len(cells) < 7 or cells[6] == "[none]":
            continue
        rows.append((re.sub(r"^[A-Z]{6}\+", "", cells[0]), cells[1], cells[3] == "yes"))
    return rows


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


def check(entry):
    problems = []
    source, output = entry["input"], entry.get("output")
    if entry["status"] not in (0, 6):
        return problems  # not opened: nothing written, nothing to check
    if not output or not os.path.exists(output):
        return ["no output written"]
    reported = {}
    for font in entry["fonts"]:
        reported.setdefault(re.sub(r"^[A-Z]{6}\+", "", font["font"]), set()).add(font["action"])
    unmatched = {n for n, acts in reported.items() if acts & {"no-good-match", "family-not-installed"}}
    # Composite (Type 0) fonts keep their two-byte codes and stay as they are.
    left_alone = {n for n, acts in reported.items() if acts == {"left-alone"}}
    if bool(unmatched) != (entry["status"] == 6):
        problems.append("status %d but unmatched fonts %s" % (entry["status"], sorted(unmatched)))

    for name, kind, embedded in fonts(source):
        if not embedded and kind != "Type 3" and name not in reported and name not in SYMBOL_FONTS:
            problems.append("font %s not in the report" % name)
    for name, kind, embedded in fonts(output):
        if embedded or kind == "Type 3" or name in unmatched or name in left_alone or name in SYMBOL_FONTS:
            continue
        problems.append("font %s (%s) still not embedded" % (name, kind))

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
    for n, folder in enumerate(folders):
        inputs = sorted(glob.glob(os.path.join(folder, "*.pdf")))
        if not inputs:
            print("FAIL %s: no PDF files" % folder)
            failed += 1
            continue
        target = os.path.join(outdir, str(n))
        os.makedirs(target)
        result = run([cli, "embed", "--json", "-o", target] + inputs)
        if result.returncode > 6:
            print("FAIL %s: exit %d\n%s" % (folder, result.returncode, result.stderr.decode()[-2000:]))
            failed += 1
            continue
        report = json.loads(result.stdout)
        if [e["input"] for e in report] != inputs:
            print("FAIL %s: report not in input order" % folder)
            failed += 1
        for entry in report:
            problems = check(entry)
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
    print("%d files written and checked, %d failed" % (checked, failed))
    return 1 if failed or checked == 0 else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Every PDF file with XMP metadata in the given folders is saved by
glyphwell-cli twice: as it is, and with a new title, author and keywords.
The saved packet (pdfinfo -meta) must parse; dc:title, dc:creator,
pdf:Keywords, pdf:Producer and xmp:ModifyDate must say what the
information dictionary says (pdfinfo -rawdates; dates compared as
instants); every other node of the packet must be as it was. A packet that
does not parse must be copied as it stands, and the save must say so.

usage: xmp_in_step.py GLYPHWELL-CLI SCRATCH-DIR FOLDER...
"""
import copy
import datetime
import os
import re
import subprocess
import sys
import xml.etree.ElementTree as ET

RDF = "http://www.w3.org/1999/02/22-rdf-syntax-ns#"
DC = "http://purl.org/dc/elements/1.1/"
PDF = "http://ns.adobe.com/pdf/1.3/"
XMP = "http://ns.adobe.com/xap/1.0/"
LANG = "{http://www.w3.org/XML/1998/namespace}lang"
# The properties the save keeps in step with the information dictionary.
IN_STEP = {"{%s}%s" % pair for pair in [
    (DC, "title"), (DC, "creator"), (DC, "description"), (PDF, "Keywords"), (PDF, "Producer"),
    (XMP, "CreatorTool"), (XMP, "CreateDate"), (XMP, "ModifyDate"), (XMP, "MetadataDate")]}
EDITS = ["--title", "Neuer Titel – <geändert> & \"zitiert\"", "--author", "Zoë Ärger",
         "--keywords", "eins, zwei; Ω"]
UNREADABLE = "Die XMP-Metadaten der Datei lassen sich nicht lesen"


def run(args):
    return subprocess.run(args, capture_output=True)


def packet_of(path):
    return run(["pdfinfo", "-meta", path]).stdout


def parse(packet):
    try:
        return ET.fromstring(packet)
    except ET.ParseError:
        return None


def info_of(path):
    """The information dictionary's texts as pdfinfo shows them."""
    out = run(["pdfinfo", "-rawdates", "-enc", "UTF-8", path]).stdout.decode("utf-8", "replace")
    info = {}
    for line in out.splitlines():
        match = re.match(r"(Title|Author|Keywords|Producer|ModDate|CreationDate):\s*(.*)$", line)
        if match:
            info[match.group(1)] = match.group(2)
    return info


def descriptions(root):
    return [d for d in root.iter("{%s}Description" % RDF)]


def prop(root, name):
    """The property's value: text, x-default item or sequence items; None when absent."""
    for description in descriptions(root):
        if name in description.attrib:
            return description.attrib[name]
        for child in description:
            if child.tag != name:
                continue
            alt = child.find("{%s}Alt" % RDF)
            if alt is not None:
                for item in alt:
                    if item.get(LANG) == "x-default":
                        return item.text or ""
                return None
            seq = child.find("{%s}Seq" % RDF)
            if seq is not None:
                return [item.text or "" for item in seq]
            return child.text or ""
    return None


def instant(text):
    """A PDF or XMP date as an aware datetime (naive where it gives no offset)."""
    text = text.strip()
    if text.startswith("D:"):
        m = re.match(r"D:(\d{4})(\d\d)?(\d\d)?(\d\d)?(\d\d)?(\d\d)?([Zz+-])?(\d\d)?'?(\d\d)?", text)
    else:
        m = re.match(r"(\d{4})-?(\d\d)?-?(\d\d)?T?(\d\d)?:?(\d\d)?:?(\d\d)?(?:\.\d+)?([Zz+-])?(\d\d)?:?(\d\d)?", text)
    if not m:
        return None
    year, month, day, hour, minute, second, sign, oh, om = m.groups()
    value = datetime.datetime(int(year), int(month or 1), int(day or 1), int(hour or 0), int(minute or 0),
                              int(second or 0))
    if sign in ("Z", "z"):
        return value.replace(tzinfo=datetime.timezone.utc)
    if sign:
        offset = datetime.timedelta(hours=int(oh or 0), minutes=int(om or 0))
        return value.replace(tzinfo=datetime.timezone(offset if sign == "+" else -offset))
    return value


def without_in_step(root):
    """The tree with the in-step properties taken out; descriptions left
    empty by that go too (the save may add one to hold them)."""
    for parent in list(root.iter()):
        for child in list(parent):
            if child.tag in IN_STEP:
                parent.remove(child)
        for name in [n for n in parent.attrib if n in IN_STEP]:
            del parent.attrib[name]
    for parent in list(root.iter()):
        for child in list(parent):
            if child.tag == "{%s}Description" % RDF and len(child) == 0 and \
                    set(child.attrib) <= {"{%s}about" % RDF}:
                parent.remove(child)
    return root


def same_tree(a, b, where="/"):
    if a.tag != b.tag:
        return "%s: %s against %s" % (where, a.tag, b.tag)
    if a.attrib != b.attrib:
        return "%s%s: attributes %s against %s" % (where, a.tag, a.attrib, b.attrib)
    if (a.text or "").strip() != (b.text or "").strip():
        return "%s%s: text %r against %r" % (where, a.tag, a.text, b.text)
    if len(a) != len(b):
        return "%s%s: %d against %d children" % (where, a.tag, len(a), len(b))
    for k, (x, y) in enumerate(zip(a, b)):
        problem = same_tree(x, y, "%s%s[%d]/" % (where, a.tag, k))
        if problem:
            return problem
        if (x.tail or "").strip() != (y.tail or "").strip():
            return "%s%s[%d]: tail %r against %r" % (where, a.tag, k, x.tail, y.tail)
    return None


def check_in_step(name, before, after, info_before, info_after):
    problems = []
    for key, prop_name in [("Title", "{%s}title" % DC), ("Keywords", "{%s}Keywords" % PDF),
                           ("Producer", "{%s}Producer" % PDF)]:
        value = prop(after, prop_name)
        if key in info_after:
            if value != info_after[key]:
                problems.append("%s: %r, /Info %r" % (prop_name, value, info_after[key]))
        elif value != prop(before, prop_name):
            problems.append("%s changed without an /Info entry" % prop_name)
    creator = prop(after, "{%s}creator" % DC)
    if "Author" in info_after:
        if creator != [info_after["Author"]]:
            problems.append("dc:creator %r, /Info /Author %r" % (creator, info_after["Author"]))
    elif creator != prop(before, "{%s}creator" % DC):
        problems.append("dc:creator changed without an /Info /Author")
    for key, local in [("ModDate", "ModifyDate"), ("ModDate", "MetadataDate"), ("CreationDate", "CreateDate")]:
        value = prop(after, "{%s}%s" % (XMP, local))
        pdf_date = instant(info_after[key]) if key in info_after else None
        if pdf_date is None:
            continue
        if value is None or instant(value) != pdf_date:
            problems.append("xmp:%s %r, /Info /%s %r" % (local, value, key, info_after[key]))
    difference = same_tree(without_in_step(copy.deepcopy(before)), without_in_step(copy.deepcopy(after)))
    if difference:
        problems.append("other nodes changed: " + difference)
    return problems


def check_file(cli, scratch, path):
    name = os.path.basename(path)
    original = packet_of(path)
    if not original.strip():
        return None, []
    before = parse(original)
    failures = []
    for variant, extra in [("plain", []), ("edited", EDITS)]:
        out = os.path.join(scratch, variant + "-" + name)
        save = run([cli, "save", path, "-o", out] + extra)
        if save.returncode in (1, 2, 3):
            return "does not open", []
        said = save.stderr.decode("utf-8", "replace")
        if save.returncode != 0:
            failures.append("%s: save exits %d: %s" % (variant, save.returncode, said))
            continue
        saved = packet_of(out)
        if before is None:
            if UNREADABLE not in said:
                failures.append("%s: a packet that does not parse, and the save says nothing" % variant)
            if saved != original:
                failures.append("%s: a packet that does not parse was not copied as it stood" % variant)
            continue
        if UNREADABLE in said:
            failures.append("%s: the save calls a packet unreadable that parses" % variant)
            continue
        after = parse(saved)
        if after is None:
            failures.append("%s: the saved packet does not parse" % variant)
            continue
        for problem in check_in_step(name, parse(original), after, info_of(path), info_of(out)):
            failures.append("%s: %s" % (variant, problem))
        if variant == "edited" and prop(after, "{%s}title" % DC) != EDITS[1]:
            failures.append("edited: dc:title %r" % prop(after, "{%s}title" % DC))
    return "checked", failures


def main():
    cli, scratch, folders = sys.argv[1], sys.argv[2], sys.argv[3:]
    os.makedirs(scratch, exist_ok=True)
    checked = 0
    failed = 0
    for folder in folders:
        for name in sorted(os.listdir(folder)):
            if not name.endswith(".pdf"):
                continue
            outcome, failures = check_file(cli, scratch, os.path.join(folder, name))
            if outcome == "checked":
                checked += 1
            for failure in failures:
                print("%s: %s" % (name, failure))
            failed += bool(failures)
    print("%d files with XMP checked, %d with faults" % (checked, failed))
    # The public real-world files hold more than a dozen packets: far fewer
    # means the files or the tools went missing.
    if checked < 12:
        print("too few files with XMP")
        return 1
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Reads an exported .csv or .xlsx back with the standard library only and
prints what a program or a spreadsheet would see, one line per row:

    sheet NAME frozen=ROWS widths=W1,W2,...     (xlsx; "sheet -" for csv)
    row CELL<TAB>CELL...

Cells are escaped as \\t \\n \\r \\\\. An xlsx cell that is not a text cell is
printed as !TYPE:VALUE, so a number or a formula shows up in the comparison."""

import csv
import re
import sys
import zipfile
import xml.etree.ElementTree as ET

NS = {"m": "http://schemas.openxmlformats.org/spreadsheetml/2006/main",
      "r": "http://schemas.openxmlformats.org/officeDocument/2006/relationships"}
REL = "{http://schemas.openxmlformats.org/package/2006/relationships}"


def escape(cell):
    return (cell.replace("\\", "\\\\").replace("\t", "\\t")
            .replace("\n", "\\n").replace("\r", "\\r"))


def print_row(cells):
    print("row " + "\t".join(escape(c) for c in cells))


def read_csv(path):
    raw = open(path, "rb").read()
    if not raw.startswith(b"\xef\xbb\xbf"):
        print("no-bom")
    print("sheet -")
    with open(path, newline="", encoding="utf-8-sig") as f:
        for record in csv.reader(f, strict=True):
            print_row(record)


def column_index(ref):
    letters = re.match(r"[A-Z]+", ref).group(0)
    index = 0
    for ch in letters:
        index = index * 26 + ord(ch) - 64
    return index - 1


def text_of(node):
    # Characters XML cannot hold are written as _xHHHH_ (a carriage return, say).
    text = "".join(t.text or "" for t in node.iter("{%s}t" % NS["m"]))
    return re.sub(r"_x([0-9A-Fa-f]{4})_", lambda m: chr(int(m.group(1), 16)), text)


def read_xlsx(path):
    z = zipfile.ZipFile(path)
    if z.testzip() is not None:
        print("bad-zip")
    shared = []
    if "xl/sharedStrings.xml" in z.namelist():
        root = ET.fromstring(z.read("xl/sharedStrings.xml"))
        shared = [text_of(si) for si in root.findall("m:si", NS)]
    book = ET.fromstring(z.read("xl/workbook.xml"))
    rels = ET.fromstring(z.read("xl/_rels/workbook.xml.rels"))
    targets = {r.get("Id"): r.get("Target") for r in rels.iter(REL + "Relationship")}
    for sheet in book.find("m:sheets", NS):
        target = targets[sheet.get("{%s}id" % NS["r"])]
        root = ET.fromstring(z.read("xl/" + target.lstrip("/").removeprefix("xl/")))
        pane = root.find(".//m:pane", NS)
        frozen = pane.get("ySplit") if pane is not None and pane.get("state") == "frozen" else "0"
        widths = [c.get("width") for c in root.iter("{%s}col" % NS["m"])]
        print("sheet %s frozen=%s widths=%s" % (sheet.get("name"), frozen, ",".join(
            str(round(float(w))) for w in widths)))
        rows = []
        for row in root.find("m:sheetData", NS):
            cells = []
            for c in row.findall("m:c", NS):
                index = column_index(c.get("r"))
                cells.extend([""] * (index + 1 - len(cells)))
                kind = c.get("t", "n")
                if c.find("m:f", NS) is not None:
                    cells[index] = "!f:" + (c.find("m:f", NS).text or "")
                elif kind == "s":
                    cells[index] = shared[int(c.find("m:v", NS).text)]
                elif kind == "inlineStr":
                    cells[index] = text_of(c.find("m:is", NS))
                else:
                    value = c.find("m:v", NS)
                    cells[index] = "!%s:%s" % (kind, value.text if value is not None else "")
            rows.append(cells)
        # A row ends at its last cell that holds a text: pad to the header's width.
        width = max((len(r) for r in rows), default=0)
        for cells in rows:
            print_row(cells + [""] * (width - len(cells)))


if __name__ == "__main__":
    file = sys.argv[1]
    read_xlsx(file) if file.lower().endswith(".xlsx") else read_csv(file)

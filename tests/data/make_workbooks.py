#!/usr/bin/env python3
"""Writes the workbooks that the tests and the workbook fuzz target read.

Usage: tests/data/make_workbooks.py  (from anywhere; rewrites the files)

The files are built part by part with zipfile, so that each holds exactly
what a test needs: the study of examples/study.csv as .xlsx and .ods, a
sheet of every kind of cell in both formats, and hostile files (an inflating
part, a sheet of a billion repeated cells). Timestamps are fixed, so a run
writes the same bytes again.
"""

import csv
import os
import zipfile
from xml.sax.saxutils import escape, quoteattr

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
CORPUS = os.path.join(ROOT, "fuzz", "workbook_corpus")

MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
PKG_REL = "http://schemas.openxmlformats.org/package/2006/relationships"


def write_zip(path, members, compression=zipfile.ZIP_DEFLATED):
    with zipfile.ZipFile(path, "w") as z:
        for name, data, *stored in members:
            info = zipfile.ZipInfo(name, date_time=(1980, 1, 1, 0, 0, 0))
            info.compress_type = zipfile.ZIP_STORED if stored else compression
            z.writestr(info, data.encode() if isinstance(data, str) else data)


# --- Office Open XML ---------------------------------------------------------


def column_name(i):
    s = ""
    i += 1
    while i:
        i, r = divmod(i - 1, 26)
        s = chr(ord("A") + r) + s
    return s


def xlsx(path, sheets, shared=None, styles=None, date1904=False):
    """sheets: [(name, sheet_xml_body)]; shared: list of <si> bodies."""
    book_sheets = "".join(
        f'<sheet name={quoteattr(n)} sheetId="{i + 1}" r:id="rId{i + 1}"/>'
        for i, (n, _) in enumerate(sheets))
    pr = '<workbookPr date1904="1"/>' if date1904 else ""
    members = [
        ("[Content_Types].xml",
         '<?xml version="1.0" encoding="UTF-8"?>'
         '<Types xmlns="http://schemas.openxmlformats.org/package/2006/'
         'content-types"><Default Extension="xml" ContentType="application/'
         'xml"/><Default Extension="rels" ContentType="application/'
         'vnd.openxmlformats-package.relationships+xml"/></Types>'),
        ("_rels/.rels",
         f'<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="'
         f'{PKG_REL}"><Relationship Id="rId1" Type="{REL}/officeDocument" '
         f'Target="xl/workbook.xml"/></Relationships>'),
        ("xl/workbook.xml",
         f'<?xml version="1.0" encoding="UTF-8"?><workbook xmlns="{MAIN}" '
         f'xmlns:r="{REL}">{pr}<sheets>{book_sheets}</sheets></workbook>'),
    ]
    rels = "".join(
        f'<Relationship Id="rId{i + 1}" Type="{REL}/worksheet" '
        f'Target="worksheets/sheet{i + 1}.xml"/>' for i in range(len(sheets)))
    if shared is not None:
        rels += (f'<Relationship Id="rIdS" Type="{REL}/sharedStrings" '
                 f'Target="/xl/sharedStrings.xml"/>')
        members.append(
            ("xl/sharedStrings.xml",
             f'<?xml version="1.0" encoding="UTF-8"?><sst xmlns="{MAIN}" '
             f'count="{len(shared)}">' + "".join(f"<si>{s}</si>"
                                                 for s in shared) + "</sst>"))
    if styles is not None:
        rels += (f'<Relationship Id="rIdT" Type="{REL}/styles" '
                 f'Target="styles.xml"/>')
        members.append(("xl/styles.xml",
                        f'<?xml version="1.0" encoding="UTF-8"?>'
                        f'<styleSheet xmlns="{MAIN}">{styles}</styleSheet>'))
    members.append(
        ("xl/_rels/workbook.xml.rels",
         f'<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="'
         f'{PKG_REL}">{rels}</Relationships>'))
    for i, (_, body) in enumerate(sheets):
        members.append(
            (f"xl/worksheets/sheet{i + 1}.xml",
             f'<?xml version="1.0" encoding="UTF-8"?><worksheet xmlns="{MAIN}">'
             f"<sheetData>{body}</sheetData></worksheet>"))
    write_zip(path, members)


def xlsx_rows(rows, strings):
    """Rows of Python values as sheet XML: text through shared strings."""
    out = []
    for r, row in enumerate(rows):
        cells = []
        for c, v in enumerate(row):
            ref = f"{column_name(c)}{r + 1}"
            if v is None or v == "":
                continue
            if isinstance(v, str):
                if v not in strings:
                    strings.append(v)
                cells.append(f'<c r="{ref}" t="s"><v>{strings.index(v)}</v></c>')
            else:
                cells.append(f'<c r="{ref}"><v>{v!r}</v></c>')
        out.append(f'<row r="{r + 1}">{"".join(cells)}</row>')
    return "".join(out)


# --- OpenDocument ------------------------------------------------------------

ODS_MIME = "application/vnd.oasis.opendocument.spreadsheet"
ODS_NS = ('xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
          'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
          'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"')


def ods(path, tables):
    """tables: [(name, rows_xml)]."""
    body = "".join(f"<table:table table:name={quoteattr(n)}>{rows}"
                   f"</table:table>" for n, rows in tables)
    content = (f'<?xml version="1.0" encoding="UTF-8"?>'
               f'<office:document-content {ODS_NS} office:version="1.2">'
               f"<office:body><office:spreadsheet>{body}</office:spreadsheet>"
               f"</office:body></office:document-content>")
    manifest = (
        '<?xml version="1.0" encoding="UTF-8"?><manifest:manifest xmlns:'
        'manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0">'
        f'<manifest:file-entry manifest:full-path="/" manifest:media-type='
        f'"{ODS_MIME}"/><manifest:file-entry manifest:full-path="content.xml"'
        ' manifest:media-type="text/xml"/></manifest:manifest>')
    write_zip(path, [("mimetype", ODS_MIME, "stored"),
                     ("content.xml", content),
                     ("META-INF/manifest.xml", manifest)])


def ods_cell(v):
    if v is None or v == "":
        return "<table:table-cell/>"
    if isinstance(v, str):
        return (f'<table:table-cell office:value-type="string">'
                f"<text:p>{escape(v)}</text:p></table:table-cell>")
    return (f'<table:table-cell office:value-type="float" office:value='
            f'"{v!r}"><text:p>{v!r}</text:p></table:table-cell>')


def ods_rows(rows):
    # As spreadsheets write them: each row padded with a run of repeated
    # empty cells, and a million repeated empty rows at the end.
    out = "".join(
        "<table:table-row>" + "".join(ods_cell(v) for v in row) +
        '<table:table-cell table:number-columns-repeated="1020"/>'
        "</table:table-row>" for row in rows)
    return out + ('<table:table-row table:number-rows-repeated="1048500">'
                  '<table:table-cell table:number-columns-repeated="1024"/>'
                  "</table:table-row>")


# --- The files ---------------------------------------------------------------


def study_rows():
    with open(os.path.join(ROOT, "examples", "study.csv"), newline="") as f:
        rows = list(csv.reader(f))
    # Numbers as numbers, as a spreadsheet holds them; NA stays text.
    def value(s):
        try:
            return int(s)
        except ValueError:
            try:
                return float(s)
            except ValueError:
                return s
    return [rows[0]] + [[value(s) for s in row] for row in rows[1:]]


def researcher():
    """A workbook as a researcher keeps one: a sheet of notes first, then
    the scores under their own column names, dates as dates, missing
    values as #N/A and empty cells; researcher.csv holds what it shows."""
    serial = {f"2024-03-{d:02d}": 45351 + d for d in range(1, 10)}
    rows = [("Ann", "2024-03-01", "A", 3), ("Ann", "2024-03-02", "A", 4),
            ("Ann", "2024-03-03", "A", "#N/A"), ("Ann", "2024-03-05", "A", 3),
            ("Ann", "2024-03-06", "B", 7), ("Ann", "2024-03-07", "B", 8),
            ("Ann", "2024-03-08", "B", None), ("Ann", "2024-03-09", "B", 9),
            ("Ben", "2024-03-01", "A", 10), ("Ben", "2024-03-02", "A", 11.5),
            ("Ben", "2024-03-03", "A", 12), ("Ben", "2024-03-04", "B", 14),
            ("Ben", "2024-03-05", "B", 15), ("Ben", "2024-03-06", "B", 16)]
    strings = ["id", "date", "condition", "score", "Ann", "Ben", "A", "B",
               "Scores of the spring term"]
    def text(ref, v):
        return f'<c r="{ref}" t="s"><v>{strings.index(v)}</v></c>'
    body = ('<row r="1">' + "".join(text(f"{column_name(c)}1", v) for c, v in
                                    enumerate(strings[:4])) + "</row>")
    csv_text = "id,date,condition,score\n"
    for r, (case, date, phase, score) in enumerate(rows, start=2):
        cells = [text(f"A{r}", case),
                 f'<c r="B{r}" s="1"><v>{serial[date]}</v></c>',
                 text(f"C{r}", phase)]
        if score == "#N/A":
            cells.append(f'<c r="D{r}" t="e"><v>#N/A</v></c>')
        elif score is not None:
            cells.append(f'<c r="D{r}"><v>{score!r}</v></c>')
        body += f'<row r="{r}">{"".join(cells)}</row>'
        shown = "" if score is None else str(score)
        csv_text += f"{case},{date},{phase},{shown}\n"
    notes = ('<row r="1"><c r="A1" t="s"><v>8</v></c></row>')
    xlsx(os.path.join(HERE, "researcher.xlsx"),
         [("Notes", notes), ("Scores", body)],
         shared=[f"<t>{escape(s)}</t>" for s in strings],
         styles='<cellXfs count="2"><xf numFmtId="0"/><xf numFmtId="14"/>'
                "</cellXfs>")
    with open(os.path.join(HERE, "researcher.csv"), "w", newline="") as f:
        f.write(csv_text)
    # A zip archive that is no workbook.
    write_zip(os.path.join(HERE, "notes.zip"), [("notes.txt", "no sheet")])


def main():
    os.makedirs(CORPUS, exist_ok=True)
    researcher()
    rows = study_rows()
    strings = []
    body = xlsx_rows(rows, strings)
    xlsx(os.path.join(HERE, "study.xlsx"), [("study", body)],
         shared=[f"<t>{escape(s)}</t>" for s in strings])
    ods(os.path.join(HERE, "study.ods"), [("study", ods_rows(rows))])

    # Every kind of cell. Row 1: text kinds; row 2: numbers; row 3 empty;
    # row 4: dates and booleans, with a gap of empty columns.
    shared = [
        "<t>case</t>",
        '<r><t>Jür</t></r><r><rPr><b/></rPr><t xml:space="preserve">gen'
        "</t></r><rPh><t>ignored</t></rPh>",
        "<t>line_x000D_break</t>",
        "<t>&lt;5 &amp; \"q\"</t>",
    ]
    styles = ('<numFmts count="1"><numFmt numFmtId="164" formatCode='
              '"yyyy\\-mm\\-dd;@"/><numFmt numFmtId="165" formatCode='
              '"[Red]0.00;&quot;days&quot;"/></numFmts>'
              '<cellXfs count="5"><xf numFmtId="0"/><xf numFmtId="14"/>'
              '<xf numFmtId="164"/><xf numFmtId="165"/><xf numFmtId="22"/>'
              "</cellXfs>")
    cells = (
        '<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>1</v></c>'
        '<c r="C1" t="inlineStr"><is><t>inline</t></is></c>'
        '<c r="D1" t="s"><v>2</v></c><c r="E1" t="s"><v>3</v></c>'
        '<c r="F1" t="str"><f>A1&amp;"!"</f><v>case!</v></c>'
        '<c r="G1" t="e"><v>#N/A</v></c></row>'
        '<row r="2"><c r="A2"><v>3</v></c><c r="B2"><v>2.5</v></c>'
        '<c r="C2"><v>0.30000000000000004</v></c><c r="D2"><v>-0</v></c>'
        '<c r="E2"><v>1E+20</v></c><c r="F2"><v>1.5E-7</v></c>'
        '<c r="G2" s="3"><v>45352</v></c>'
        '<c r="H2"><v>123456789012345678</v></c><c r="I2"><f>1/0</f></c></row>'
        '<row r="4"><c r="A4" s="1"><v>45352</v></c>'
        '<c r="B4" s="2"><v>45352</v></c><c r="C4" s="4"><v>45352.5</v></c>'
        '<c r="D4" s="1"><v>60</v></c><c r="E4" s="1"><v>61</v></c>'
        '<c r="F4" t="b"><v>1</v></c><c r="G4" t="b"><v>0</v></c>'
        '<c r="J4" t="d"><v>2024-03-01T00:00:00</v></c>'
        '<c r="K4" s="1"><v>2958465</v></c><c r="L4" s="1"><v>2958466</v></c>'
        '<c r="M4" s="1"><v>0.5</v></c></row>')
    xlsx(os.path.join(HERE, "cells.xlsx"),
         [("Data", cells), ("2", '<row r="1"><c r="A1"><v>2</v></c></row>'),
          ("Notes", '<row r="1"><c r="B1" t="inlineStr"><is><t>third</t>'
                    "</is></c></row>")],
         shared=shared, styles=styles)
    # The 1904 date system: serial 0 is 1904-01-01.
    xlsx(os.path.join(HERE, "dates1904.xlsx"),
         [("Sheet1", '<row r="1"><c r="A1" s="1"><v>0</v></c>'
                     '<c r="B1" s="1"><v>43890</v></c>'
                     '<c r="C1" s="1"><v>2957003</v></c>'
                     '<c r="D1" s="1"><v>2957004</v></c></row>')],
         styles='<cellXfs count="2"><xf numFmtId="0"/><xf numFmtId="14"/>'
                "</cellXfs>", date1904=True)

    T = "table:"
    ods_cells = (
        # Row 1: text kinds, an annotation, spaces, two paragraphs.
        f"<{T}table-row>"
        f'<{T}table-cell office:value-type="string"><text:p>case</text:p>'
        f"</{T}table-cell>"
        f'<{T}table-cell office:value-type="string"><office:annotation>'
        f"<text:p>a comment</text:p></office:annotation><text:p>Jür<text:span>"
        f"gen</text:span></text:p></{T}table-cell>"
        f'<{T}table-cell office:value-type="string"><text:p>a<text:s text:c='
        f'"2"/>b<text:tab/>c</text:p><text:p>d</text:p></{T}table-cell>'
        f'<{T}table-cell office:value-type="string" office:string-value='
        f'"given"><text:p>shown</text:p></{T}table-cell>'
        f'<{T}table-cell {T}number-columns-repeated="16384"/>'
        f"</{T}table-row>"
        # Row 2: numbers, shown in a German locale; one repeated 3 times.
        f"<{T}table-row>"
        f'<{T}table-cell office:value-type="float" office:value="3">'
        f"<text:p>3</text:p></{T}table-cell>"
        f'<{T}table-cell office:value-type="float" office:value="2.5">'
        f"<text:p>2,5</text:p></{T}table-cell>"
        f'<{T}table-cell office:value-type="percentage" office:value="0.25">'
        f"<text:p>25%</text:p></{T}table-cell>"
        f'<{T}table-cell office:value-type="currency" office:currency="EUR" '
        f'office:value="-1.5"><text:p>-1,50 €</text:p></{T}table-cell>'
        f'<{T}table-cell {T}number-columns-repeated="3" office:value-type='
        f'"float" office:value="7"><text:p>7</text:p></{T}table-cell>'
        f"</{T}table-row>"
        # Three empty rows, then dates, times and booleans after a gap.
        f'<{T}table-row {T}number-rows-repeated="3"><{T}table-cell '
        f'{T}number-columns-repeated="16384"/></{T}table-row>'
        f"<{T}table-row>"
        f'<{T}table-cell office:value-type="date" office:date-value='
        f'"2024-03-01"><text:p>01.03.2024</text:p></{T}table-cell>'
        f'<{T}table-cell office:value-type="date" office:date-value='
        f'"2024-03-01T12:00:00"><text:p>01.03.24 12:00</text:p></{T}table-cell>'
        f'<{T}table-cell {T}number-columns-repeated="2"/>'
        f'<{T}table-cell office:value-type="boolean" office:boolean-value='
        f'"true"><text:p>TRUE</text:p></{T}table-cell>'
        f'<{T}table-cell office:value-type="time" office:time-value='
        f'"PT10H30M00S"><text:p>10:30</text:p></{T}table-cell>'
        f"</{T}table-row>"
        f'<{T}table-row {T}number-rows-repeated="1048570"><{T}table-cell '
        f'{T}number-columns-repeated="16384"/></{T}table-row>')
    ods(os.path.join(HERE, "cells.ods"),
        [("Data", ods_cells),
         ("2", f'<{T}table-row><{T}table-cell office:value-type="float" '
               f'office:value="2"><text:p>2</text:p></{T}table-cell>'
               f"</{T}table-row>"),
         ("Notes", f"<{T}table-row><{T}table-cell/><{T}table-cell "
                   f'office:value-type="string"><text:p>third</text:p>'
                   f"</{T}table-cell></{T}table-row>")])

    # Hostile files. A sheet part of 3 MB of blanks that deflates to a few
    # kilobytes (the tests cap parts at 1 MB), and a sheet of one filled
    # cell repeated 16384 times in each of a million rows.
    xlsx(os.path.join(HERE, "inflating.xlsx"),
         [("Sheet1", " " * (3 << 20) + '<row r="1"><c r="A1"><v>1</v></c>'
                     "</row>")])
    ods(os.path.join(HERE, "repeated.ods"),
        [("Sheet1", f'<{T}table-row {T}number-rows-repeated="1000000">'
                    f'<{T}table-cell {T}number-columns-repeated="16384" '
                    f'office:value-type="float" office:value="1"/>'
                    f"</{T}table-row>")])

    # Seeds for the fuzz target: a byte that picks the sheet and the limits
    # (see fuzz/workbook_fuzz.cpp), then the file. Most are rewritten with
    # their members stored, not deflated: the reader hands a member's bytes
    # to the XML parser as they come, before the archive's checksum fails,
    # so a mutation of stored XML still reaches the XML handlers.
    for f in os.listdir(CORPUS):
        os.remove(os.path.join(CORPUS, f))
    seeds = [(0, "study.xlsx", False), (0, "study.ods", False),
             (0, "study.xlsx", True), (1, "cells.xlsx", True),
             (2, "cells.ods", True), (7, "cells.xlsx", True),
             (3, "cells.ods", True), (0, "dates1904.xlsx", True),
             (4, "repeated.ods", True)]
    for option, name, stored in seeds:
        path = os.path.join(HERE, name)
        if stored:
            with zipfile.ZipFile(path) as z:
                members = [(i.filename, z.read(i), "stored")
                           for i in z.infolist()]
            path = os.path.join(CORPUS, "stored.tmp")
            write_zip(path, members)
        with open(path, "rb") as f:
            data = f.read()
        if stored:
            os.remove(path)
        seed = f"{name.replace('.', '_')}_{option}" + ("_stored" if stored
                                                        else "")
        with open(os.path.join(CORPUS, seed), "wb") as f:
            f.write(bytes([option]) + data)

if __name__ == "__main__":
    main()

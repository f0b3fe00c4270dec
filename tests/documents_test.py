#!/usr/bin/env python3
"""Reads kestrel's JSON and CSV documents with Python's own parsers, over a
session whose process names hold every kind of character a session line can
carry, and checks them against each other and against the text views.

    documents_test.py KESTREL
"""
import csv
import io
import json
import os
import re
import subprocess
import sys
import tempfile

# Control characters (but the line end), quotes, a backslash, a comma, DEL,
# characters beyond ASCII up to a surrogate pair, and U+2028.
NAMES = [
    "".join(chr(c) for c in range(1, 32) if c != 10) + "\x7f.exe",
    'quote"back\\slash.exe',
    "comma,semi;colon.exe",
    "tab\there.exe",
    "\u5fae\u4fe1.exe",
    "\U0001F600 smile.exe",
    "caf\u00e9\u2028.exe",
]
TYPES = [1, 4, 5, 8, 10, 16, 33, 38, 48, 70, 80, 102, 7]


def run(kestrel, session, *args):
    result = subprocess.run([kestrel, *args], capture_output=True,
                            env=dict(os.environ, KESTREL_SESSION=session))
    assert result.returncode == 0, (args, result.returncode, result.stderr)
    assert result.stderr == b"", (args, result.stderr)
    return result.stdout


def main():
    kestrel = sys.argv[1]
    lines = ["global 900 400"]
    entry = 0
    for i, name in enumerate(NAMES):
        pid = 8 + 4 * i
        lines.append("process %d %d open %s" % (pid, 40 + i, name))
        lines.append("counts %d %d %d %d" % (pid, 50 + i, 20 + i, 30 + i))
        for j in range(3 + 2 * i):
            lines.append("entry %d 0x%X %d %d %d 0 0" % (
                entry, 0xFFFFF90000000000 + 16 * entry, pid, j,
                TYPES[(i + j) % len(TYPES)]))
            entry += 1
    with tempfile.TemporaryDirectory() as folder:
        session = os.path.join(folder, "session.txt")
        with open(session, "w", encoding="utf-8") as f:
            f.write("\n".join(lines) + "\n")
        document = json.loads(run(kestrel, session, "-o", "json", "-v"))
        table = list(csv.reader(io.StringIO(
            run(kestrel, session, "-o", "csv").decode("utf-8"), newline="")))
        handle_rows = list(csv.reader(io.StringIO(
            run(kestrel, session, "-o", "csv", "-v").decode("utf-8"),
            newline="")))
        counts_view = run(kestrel, session, "-c", "-v")

    assert document["system"] == {"gdiObjects": 900, "userObjects": 400,
                                  "tableSlots": 65536,
                                  "tableEntriesUsed": entry}, document["system"]
    processes = document["processes"]
    assert sorted(p["name"] for p in processes) == sorted(NAMES)
    header, rows = table[0], table[1:]
    assert [row[1] for row in rows] == [p["name"] for p in processes]

    # The text view's blocks: "PID: ... GDI Total: T  All: A", the counts
    # line under the category header, then the handle lines.
    blocks = re.findall(
        rb"PID: *(\d+)  Name: .*?GDI Total: *(\d+)  All: *(\d+) \n.*?\n"
        rb"([ \d]+)\nHandle[^\n]*\n((?:0x[^\n]*\n)*)", counts_view, re.S)
    assert len(blocks) == len(processes), counts_view
    handle_row = 1
    for process, row, block in zip(processes, rows, blocks):
        pid, total, listed_all, categories, handle_lines = block
        assert (process["pid"], process["gdiTotal"], process["gdiAll"]) == (
            int(pid), int(total), int(listed_all)), (process, block)
        assert list(process["categories"].values()) == [
            int(c) for c in categories.split()], (process, categories)
        assert row == [str(process[key]) for key in header[:7]] + [
            str(c) for c in process["categories"].values()], (row, process)
        assert list(process["categories"]) == header[7:]
        assert process["gdiPeak"] == process["gdiAll"] + 10
        handle_lines = handle_lines.decode().split("\n")[:-1]
        assert len(handle_lines) == len(process["handles"]), block
        for handle, line in zip(process["handles"], handle_lines):
            assert line.split(maxsplit=1)[0] == handle["handle"]
            assert line.split()[-1] == handle["kernelAddress"]
            assert handle_rows[handle_row] == [
                str(process["pid"]), process["name"], handle["handle"],
                handle["type"], str(handle["typeCode"]),
                handle["kernelAddress"]], handle_rows[handle_row]
            handle_row += 1
        assert len(process["handles"]) == process["gdiTotal"]
    assert handle_row == len(handle_rows) == entry + 1
    print("documents: %d processes and %d handles read back" % (
        len(processes), entry))


if __name__ == "__main__":
    main()

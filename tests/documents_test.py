#!/usr/bin/env python3
"""Reads kestrel's JSON and CSV documents with Python's own parsers, over a
session whose process names hold every kind of character a session line can
carry, and checks them against each other and against the text views.

    documents_test.py KESTREL
"""
import csv
import datetime
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
# A host name with what CSV quotes and JSON escapes.
HOST = 'build "7", \\east\u00e9'


def strict_json(text):
    """json.loads that takes only what RFC 8259 allows: no NaN or Infinity,
    no name twice in an object."""
    def reject(constant):
        raise ValueError("not JSON: " + constant)

    def members(pairs):
        names = [name for name, _ in pairs]
        assert len(names) == len(set(names)), names
        return dict(pairs)
    return json.loads(text, parse_constant=reject, object_pairs_hook=members)


def run(kestrel, session, *args, stderr=b"", code=0):
    """Runs over the session file, or the built-in sample when it is None."""
    env = dict(os.environ)
    env.pop("KESTREL_SESSION", None)
    if session is not None:
        env["KESTREL_SESSION"] = session
    result = subprocess.run([kestrel, *args], capture_output=True, env=env)
    assert result.returncode == code, (args, result.returncode, result.stderr)
    assert result.stderr == stderr, (args, result.stderr)
    return result.stdout


def main():
    kestrel = sys.argv[1]
    lines = ["global 900 400", "quota 2000", "clock 1709251199",
             "host " + HOST]
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
                                  "tableEntriesUsed": entry,
                                  "processQuota": 2000}, document["system"]
    # When and where: in UTC, to the millisecond, as every row has it too.
    when = datetime.datetime.fromisoformat(document["time"])
    assert when == datetime.datetime(2024, 2, 29, 23, 59, 59,
                                     tzinfo=datetime.timezone.utc), when
    assert document["time"].endswith(".000Z"), document["time"]
    assert document["host"] == HOST, document["host"]
    processes = document["processes"]
    assert sorted(p["name"] for p in processes) == sorted(NAMES)
    header, rows = table[0][2:], [row[2:] for row in table[1:]]
    assert table[0][:2] == ["time", "host"], table[0]
    assert all(row[:2] == [document["time"], HOST]
               for row in table[1:] + handle_rows[1:]), table
    handle_rows = [row[2:] for row in handle_rows]
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
    check_watch(kestrel)


def check_watch(kestrel):
    """A watch of the built-in sample: JSON Lines, one document a sample with
    its number and time first, then the growth document, and one CSV whose
    rows are the sample documents' processes, under a single header."""
    lines = run(kestrel, None, "-o", "json", "-w", "2", "-n", "6",
                "-s", "pid").decode("utf-8").split("\n")
    assert lines[-1] == "", lines[-1]
    documents = [strict_json(line) for line in lines[:-2]]
    check_growth(strict_json(lines[-2]), documents)
    assert [list(d)[:3] for d in documents] == [
        ["sample", "elapsedSeconds", "tool"]] * 6
    assert [(d["sample"], d["elapsedSeconds"]) for d in documents] == [
        (k, 2 * (k - 1)) for k in range(1, 7)]
    # The simulated clock starts at 2026-01-01 00:00 UTC.
    assert [(d["time"], d["host"]) for d in documents] == [
        ("2026-01-01T00:00:%02d.000Z" % (2 * (k - 1)), "SIMULATED-PC")
        for k in range(1, 7)]
    by_name = [{p["name"]: p for p in d["processes"]} for d in documents]
    assert [names["mspaint.exe"]["gdiAll"] for names in by_name] == [
        121, 133, 145, 157, 169, 181]
    assert ["SnippingTool.exe" in names for names in by_name] == [
        False, False, True, True, True, True]
    assert ["vlc.exe" in names for names in by_name] == [True] * 4 + [False] * 2

    # Standard output holds the samples' table alone, and says where the
    # growth rows go.
    rows = list(csv.reader(io.StringIO(
        run(kestrel, None, "-o", "csv", "-w", "2", "-n", "6", "-s", "pid",
            stderr=b"kestrel: -o csv: the growth report (1 process grew) is "
                   b"written only beside -O's file: give -O FILE for "
                   b"FILE-growth.csv\n").decode("utf-8"), newline="")))
    assert rows[0][:6] == ["sample", "elapsedSeconds", "time", "host", "pid",
                           "name"], rows[0]
    assert [row[:6] for row in rows[1:]] == [
        [str(d["sample"]), str(d["elapsedSeconds"]), d["time"], d["host"],
         str(p["pid"]), p["name"]]
        for d in documents for p in d["processes"]]
    with tempfile.TemporaryDirectory() as folder:
        check_csv_growth(kestrel, folder, strict_json(lines[-2])["growth"])
    print("watch: %d JSON documents and %d CSV rows read back" % (
        len(documents), len(rows) - 1))


def check_csv_growth(kestrel, folder, growth):
    """A CSV watch's growth rows, in their file beside -O's: one table, the
    same figures as the JSON growth document's; a growth file that cannot be
    written is exit 5, the samples' file written all the same."""
    path = os.path.join(folder, "gdi.csv")
    run(kestrel, None, "-o", "csv", "-w", "2", "-n", "6", "-O", path)
    with open(os.path.join(folder, "gdi-growth.csv"), newline="",
              encoding="utf-8") as f:
        rows = list(csv.reader(f))
    assert len({len(row) for row in rows}) == 1, rows
    table, processes = [dict(zip(rows[0], row)) for row in rows[1:2]], [
        dict(zip(rows[0], row)) for row in rows[2:]]
    assert [r["row"] for r in table + processes] == [
        "table"] + ["process"] * len(growth["processes"])
    used = growth["table"]["used"]
    assert (int(table[0]["first"]), int(table[0]["last"]),
            int(table[0]["limit"])) == (used["first"], used["last"],
                                        growth["table"]["slots"]), table
    for row, process in zip(processes, growth["processes"]):
        assert (int(row["pid"]), row["name"]) == (process["pid"],
                                                  process["name"])
        assert [int(row[k]) for k in ("first", "last", "change")] == [
            process["gdiAll"][k] for k in ("first", "last", "change")]
        assert float(row["perMinute"]) == process["gdiAll"]["perMinute"]
        assert int(row["gdiTotalLast"]) == process["gdiTotal"]["last"]
        grown = {k: int(row[k]) for k in process["categoriesGrown"]}
        assert grown == process["categoriesGrown"], (row, process)
        verdict = process["verdict"]
        assert row["verdict"] == verdict["word"]
        assert float(row["verdictPerMinute"]) == verdict["perMinute"]
        assert (int(row["limit"]), row["limitReached"],
                int(row["limitSecondsLeft"])) == (
            process["quota"]["limit"], "false",
            process["quota"]["secondsLeft"]), row

    os.mkdir(os.path.join(folder, "held-growth.csv"))
    held = os.path.join(folder, "held")
    run(kestrel, None, "-o", "csv", "-n", "2", "-O", held, code=5,
        stderr=b"kestrel: cannot write " + held.encode() +
        b"-growth.csv: Is a directory\n")
    with open(held, encoding="utf-8") as f:
        assert f.readline().startswith("sample,elapsedSeconds,time,host,pid,name")


def check_growth(document, samples):
    """The growth document: the processes that grew between the first and
    the last sample documents, with their counts and verdicts."""
    assert list(document) == ["growth", "tool", "version", "time", "host"], \
        list(document)
    # Its time is the last sample's.
    assert (document["time"], document["host"]) == (
        samples[-1]["time"], samples[-1]["host"]), document
    growth = document["growth"]
    assert (growth["samples"], growth["elapsedSeconds"]) == (
        samples[-1]["sample"], samples[-1]["elapsedSeconds"]), growth
    assert growth["interrupted"] is False
    first, last = samples[0]["system"], samples[-1]["system"]
    assert growth["table"]["slots"] == last["tableSlots"]
    assert growth["table"]["used"]["first"] == first["tableEntriesUsed"]
    assert growth["table"]["used"]["last"] == last["tableEntriesUsed"]
    assert growth["processQuota"] == last["processQuota"]
    by_pid = [{p["pid"]: p for p in d["processes"]} for d in samples]
    assert [p["name"] for p in growth["processes"]] == ["mspaint.exe"], growth
    for process in growth["processes"]:
        seen = [d[process["pid"]] for d in by_pid if process["pid"] in d]
        all_counts = process["gdiAll"]
        assert (all_counts["first"], all_counts["last"]) == (
            seen[0]["gdiAll"], seen[-1]["gdiAll"]), process
        assert all_counts["change"] == all_counts["last"] - all_counts["first"]
        assert process["gdiTotal"]["last"] == seen[-1]["gdiTotal"]
        for category, change in process["categoriesGrown"].items():
            assert change == (seen[-1]["categories"][category] -
                              seen[0]["categories"][category]) > 0, category
        verdict = process["verdict"]
        assert verdict["word"] == "still growing", verdict
        assert verdict["perMinute"] > 0
        quota = process["quota"]
        assert quota["limit"] == growth["processQuota"]
        assert quota["reached"] is False and quota["secondsLeft"] > 0


if __name__ == "__main__":
    main()

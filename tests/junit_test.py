#!/usr/bin/env python3
"""Reads kestrel's JUnit XML reports (-o junit) with Python's xml.etree and
checks what CI systems take from them: the attributes the JUnit schema
requires of a test suite and a test case, counts that agree with the cases,
one case a process the target matched, failing for those a gate failed with
the verdict as its message, and an error where a gate could not judge.

    junit_test.py KESTREL
"""
import json
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

# Control characters (XML holds tab and CR alone), markup characters, and
# characters beyond ASCII up to a surrogate pair.
NAMES = [
    "".join(chr(c) for c in range(1, 32) if c != 10) + "\x7f.exe",
    'a<b>&"c\'.exe',
    "\u5fae\u4fe1.exe",
    "\U0001F600 smile.exe",
]


def run(kestrel, session, *args):
    env = dict(os.environ)
    env.pop("KESTREL_SESSION", None)
    if session is not None:
        env["KESTREL_SESSION"] = session
    return subprocess.run([kestrel, *args], capture_output=True, env=env)


def read_report(result):
    """The one test suite of the report, its counts checked against its
    cases; each case as (name, the failure or error element or None)."""
    root = ET.fromstring(result.stdout)
    assert root.tag == "testsuites", root.tag
    suites = root.findall("testsuite")
    assert len(suites) == 1, suites
    suite = suites[0]
    for element in (root, suite):
        for attribute in ("tests", "failures", "errors"):
            assert int(element.get(attribute)) >= 0, (element.tag, attribute)
        assert float(element.get("time")) >= 0
    assert suite.get("name").startswith("kestrel"), suite.get("name")
    assert int(suite.get("skipped")) == 0
    # The schema's timestamp: ISO 8601 without a zone (kestrel's is UTC),
    # and the host's name.
    assert re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d",
                        suite.get("timestamp")), suite.attrib
    assert suite.get("hostname"), suite.attrib
    cases = suite.findall("testcase")
    assert len(list(suite)) == len(cases), "only test cases in the suite"
    verdicts = []
    for case in cases:
        assert case.get("classname") == "kestrel", case.attrib
        assert float(case.get("time")) >= 0, case.attrib
        outcomes = list(case)
        assert len(outcomes) <= 1, outcomes
        for outcome in outcomes:
            assert outcome.tag in ("failure", "error"), outcome.tag
            assert outcome.get("message"), outcome.attrib
            assert outcome.get("type"), outcome.attrib
        verdicts.append((case.get("name"), outcomes[0] if outcomes else None))
    tagged = lambda tag: [v for v in verdicts if v[1] is not None and
                          v[1].tag == tag]
    for element in (root, suite):
        assert int(element.get("tests")) == len(cases), element.attrib
        assert int(element.get("failures")) == len(tagged("failure"))
        assert int(element.get("errors")) == len(tagged("error"))
    return verdicts


def failing(verdicts):
    return {name: outcome.get("message") for name, outcome in verdicts
            if outcome is not None}


def check_gate_watch(kestrel):
    """-g over the built-in sample's watch: a case for every process any
    sample listed, mspaint.exe failing with its verdict."""
    result = run(kestrel, None, "-o", "junit", "-w", "2", "-n", "6",
                 "-g", "50")
    assert result.returncode == 7, result
    verdicts = read_report(result)
    samples = run(kestrel, None, "-o", "json", "-w", "2", "-n", "6").stdout
    seen = set()
    for line in samples.decode("utf-8").splitlines():
        document = json.loads(line)
        for process in document.get("processes", []):
            seen.add("%s (PID %d)" % (process["name"], process["pid"]))
    assert sorted(name for name, _ in verdicts) == sorted(seen)
    assert failing(verdicts) == {
        "mspaint.exe (PID 4780)": "-g 50: GDI All 121 -> 181 (+60, "
                                  "+360.0/min), still growing +360.0/min"}, \
        failing(verdicts)


def check_threshold(kestrel):
    """-t in a single run: every process a case, those at the count
    failing."""
    result = run(kestrel, None, "-o", "junit", "-t", "300")
    assert result.returncode == 6, result
    verdicts = read_report(result)
    document = json.loads(run(kestrel, None, "-o", "json").stdout)
    assert len(verdicts) == len(document["processes"])
    assert failing(verdicts) == {
        "%s (PID %d)" % (p["name"], p["pid"]):
        "-t 300: reached GDI All {:,}".format(p["gdiAll"])
        for p in document["processes"] if p["gdiAll"] >= 300}


def check_errors(kestrel, folder):
    """A gate that could not judge is an error: nothing matched (exit 8), a
    -g watch interrupted before its last sample (exit 9); a report without
    a gate is a usage error."""
    result = run(kestrel, None, "-o", "junit", "-n", "3", "-g", "5",
                 "nosuchapp")
    assert result.returncode == 8, result
    assert failing(read_report(result)) == {
        "target": "no process matched 'nosuchapp'"}
    session = os.path.join(folder, "interrupted.txt")
    with open(session, "w") as f:
        f.write("process 600 3 open notepad.exe\nsample\nsample\ninterrupt\n")
    result = run(kestrel, session, "-o", "junit", "-n", "5", "-g", "5")
    assert result.returncode == 9, result
    assert failing(read_report(result)) == {
        "watch": "the watch was interrupted after sample 3 of 5, before its "
                 "last: the gate did not judge it"}
    result = run(kestrel, None, "-o", "junit", "-w", "2")
    assert (result.returncode, result.stdout) == (1, result.stdout)
    assert result.stderr.startswith(b"kestrel: -o junit reports a gate"), \
        result.stderr


def check_names(kestrel, folder):
    """Names that XML must escape or cannot hold read back as written, with
    "?" for what XML 1.0 cannot hold."""
    lines = []
    for i, name in enumerate(NAMES):
        lines.append("process %d %d open %s" % (8 + 4 * i, 10 * (i + 1), name))
    session = os.path.join(folder, "names.txt")
    with open(session, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")
    result = run(kestrel, session, "-o", "junit", "-t", "20")
    assert result.returncode == 6, result
    held = lambda c: c if c in "\t\r" or ord(c) >= 0x20 else "?"
    expected = ["".join(held(c) for c in name) + " (PID %d)" % (8 + 4 * i)
                for i, name in enumerate(NAMES)]
    names = [name for name, _ in read_report(result)]
    assert sorted(names) == sorted(expected), names
    assert sorted(failing(read_report(result))) == sorted(expected[1:])


def main():
    kestrel = sys.argv[1]
    check_gate_watch(kestrel)
    check_threshold(kestrel)
    with tempfile.TemporaryDirectory() as folder:
        check_errors(kestrel, folder)
        check_names(kestrel, folder)
    print("junit: the reports read back")


if __name__ == "__main__":
    main()

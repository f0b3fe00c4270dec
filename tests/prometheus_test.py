#!/usr/bin/env python3
"""kestrel -o prometheus against the real Prometheus tools, on loopback.

    prometheus_test.py metrics KESTREL PROMTOOL
        promtool check metrics over the sample session's document and over
        a session of hostile names: no error, no lint warning.
    prometheus_test.py rules KESTREL PROMTOOL RULES
        promtool check rules and test rules on the rules file, the series
        taken from the sample session's watch: the leak alert fires for
        mspaint.exe and for no steady process.
    prometheus_test.py node-exporter KESTREL NODE_EXPORTER
        node_exporter's textfile collector reads the file that watches
        replace at every sample while this test scrapes it: every scrape
        holds one whole sample and no scrape error; and it reads two
        sessions' files side by side without a collision.
"""
import json
import os
import re
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

from documents_test import run

# Quotes, backslashes, braces and the characters of the format's own
# syntax, control characters (but the line end, which ends a session line),
# characters beyond ASCII up to a surrogate pair, and a name cut inside a
# surrogate pair at 259 units, which leaves a lone surrogate.
HOSTILE_NAMES = [
    'quote"back\\slash.exe',
    "brace{}=,# help.exe",
    "".join(chr(c) for c in range(1, 32) if c != 10) + "\x7f.exe",
    "\u5fae\u4fe1 \U0001F600.exe",
    "a" * 258 + "\U0001F600",
]

# The families every document has, whatever it lists.
FAMILIES = [
    "kestrel_process_gdi_objects",
    "kestrel_process_gdi_table_entries",
    "kestrel_process_gdi_objects_peak",
    "kestrel_process_user_objects",
    "kestrel_process_user_objects_peak",
    "kestrel_session_gdi_objects",
    "kestrel_session_user_objects",
    "kestrel_table_entries_used",
    "kestrel_table_slots",
    "kestrel_process_gdi_quota",
    "kestrel_build_info",
    "kestrel_host_info",
    "kestrel_last_sample_timestamp_seconds",
]


def documents(output):
    """A watch's standard output cut into its samples' documents."""
    head = b"# HELP kestrel_process_gdi_objects "
    parts = output.split(b"\n" + head)
    return [parts[0]] + [head + part for part in parts[1:]]


LABEL = re.compile(r'(\w+)="((?:[^"\\]|\\.)*)"')


def series(document):
    """{'name{labels}': value} of one document, the labels in name order
    (node_exporter orders them so)."""
    values = {}
    for line in document.decode("utf-8").splitlines():
        if line and not line.startswith("#"):
            name, value = line.rsplit(" ", 1)
            if "{" in name:
                family, labels = name[:-1].split("{", 1)
                name = family + "{" + ",".join(
                    '%s="%s"' % pair
                    for pair in sorted(LABEL.findall(labels))) + "}"
            values[name] = float(value) if "." in value or "e" in value \
                else int(value)
    return values


def check_metrics(kestrel, promtool):
    # A host name with what a label value escapes.
    lines = ["global 900 400", 'host pc "7" \\ \u00e9']
    for i, name in enumerate(HOSTILE_NAMES):
        pid = 8 + 4 * i
        lines.append("process %d %d open %s" % (pid, 40 + i, name))
        lines.append("entry %d 0x%X %d %d 16 0 0" % (
            i, 0xFFFFF90000000000 + 16 * i, pid, 0x0110))
    with tempfile.TemporaryDirectory() as folder:
        session = os.path.join(folder, "session.txt")
        with open(session, "w", encoding="utf-8") as f:
            f.write("\n".join(lines) + "\n")
        cases = [("sample", run(kestrel, None, "-o", "prometheus")),
                 ("hostile names", run(kestrel, session, "-o", "prometheus"))]
    for what, document in cases:
        result = subprocess.run([promtool, "check", "metrics"],
                                input=document, capture_output=True)
        assert result.returncode == 0 and not result.stdout.strip() \
            and not result.stderr.strip(), (what, result)
        # Every name is there, and the cut one ends in U+FFFD.
        assert document.count(b"kestrel_process_gdi_objects{") == \
            (52 if what == "sample" else len(HOSTILE_NAMES)), what
    assert b'"' + b"a" * 258 + "\ufffd".encode() + b'"' in cases[1][1]
    assert b'\nkestrel_host_info{session="1",nodename="SIMULATED-PC"} 1\n' \
        in cases[0][1], cases[0][1]
    assert ('\nkestrel_host_info{session="1",nodename="pc \\"7\\" \\\\ '
            '\u00e9"} 1\n').encode() in cases[1][1], cases[1][1]
    print("promtool check metrics: the sample session's and the hostile "
          "names' documents pass")


def check_rules(kestrel, promtool, rules):
    result = subprocess.run([promtool, "check", "rules", rules],
                            capture_output=True, text=True)
    assert result.returncode == 0, result

    # The sample session's watch, a sample every ten minutes: mspaint.exe
    # gains 12 GDI objects at each of the first six samples, one process
    # starts and one exits.
    interval_minutes = 10
    samples = [series(d) for d in documents(run(
        kestrel, None, "-o", "prometheus", "-w", str(60 * interval_minutes),
        "-n", "6"))]
    assert len(samples) == 6, len(samples)
    names = sorted(set().union(*samples))
    input_series = [{
        "series": name,
        "values": " ".join(str(s[name]) if name in s else "_"
                           for s in samples),
    } for name in names]
    leaks = [name for name in names
             if name.startswith("kestrel_process_gdi_objects{") and
             samples[-1].get(name, 0) > samples[0].get(name, 1 << 32)]
    assert leaks == ['kestrel_process_gdi_objects{pid="4780",'
                     'process="mspaint.exe",session="1"}'], leaks
    last = "%dm" % (interval_minutes * (len(samples) - 1))
    tests = {
        "rule_files": [os.path.abspath(rules)],
        "evaluation_interval": "1m",
        "tests": [{
            "interval": "%dm" % interval_minutes,
            "input_series": input_series,
            "alert_rule_test": [
                # Growing for 30 minutes, from the second sample on.
                {"eval_time": "30m", "alertname": "KestrelGdiLeak",
                 "exp_alerts": []},
                {"eval_time": last, "alertname": "KestrelGdiLeak",
                 "exp_alerts": [{
                     "exp_labels": {"severity": "warning", "session": "1",
                                    "pid": "4780", "process": "mspaint.exe"},
                     "exp_annotations": {"summary": (
                         "mspaint.exe (PID 4780) has gained more than one "
                         "GDI object a minute for 30 minutes")},
                 }]},
                {"eval_time": last, "alertname": "KestrelGdiNearQuota",
                 "exp_alerts": []},
                {"eval_time": last, "alertname": "KestrelMetricsStale",
                 "exp_alerts": []},
            ],
        }, {
            # The sample holds no process near the quota: one that is, in
            # session 2, beside one of session 3 at the same count whose
            # session has a higher quota.
            "interval": "1m",
            "input_series": [{
                "series": 'kestrel_process_gdi_objects{session="2",pid="8",'
                          'process="near.exe"}',
                "values": "9500x10"}, {
                "series": 'kestrel_process_gdi_objects{session="3",pid="8",'
                          'process="near.exe"}',
                "values": "9500x10"}, {
                "series": 'kestrel_process_gdi_quota{session="2"}',
                "values": "10000x10"}, {
                "series": 'kestrel_process_gdi_quota{session="3"}',
                "values": "20000x10"}],
            "alert_rule_test": [
                {"eval_time": "10m", "alertname": "KestrelGdiNearQuota",
                 "exp_alerts": [{
                     "exp_labels": {"severity": "critical", "session": "2",
                                    "pid": "8", "process": "near.exe"},
                     "exp_annotations": {"summary": (
                         "near.exe (PID 8) holds 9500 GDI objects, within "
                         "10 % of its GDI quota")},
                 }]},
            ],
        }, {
            # Session 4's watch writes a sample a minute for five minutes,
            # then its file stays as it was (a logoff); session 5's goes
            # on.
            "interval": "1m",
            "input_series": [{
                "series": 'kestrel_last_sample_timestamp_seconds{session="4"}',
                "values": "0+60x5 300x30"}, {
                "series": 'kestrel_last_sample_timestamp_seconds{session="5"}',
                "values": "0+60x35"}],
            "alert_rule_test": [
                {"eval_time": "15m", "alertname": "KestrelMetricsStale",
                 "exp_alerts": []},
                {"eval_time": "21m", "alertname": "KestrelMetricsStale",
                 "exp_alerts": [{
                     "exp_labels": {"severity": "info", "session": "4"},
                     "exp_annotations": {"summary": (
                         "kestrel's metrics of session 4 have not changed "
                         "for over 10 minutes: its watch ended")},
                 }]},
            ],
        }, {
            # A slow leak that the growth report calls "still growing
            # +0.5/min, quota 10,000 in about 14 days", from 100 objects, in
            # session 6; in session 7 one a little slower (+0.4/min, about
            # 17 days), one that holds near the quota and one that goes up
            # and down. A sample a minute for 10 hours.
            "interval": "1m",
            "input_series": [{
                "series": 'kestrel_process_gdi_objects{session="6",pid="8",'
                          'process="slow.exe"}',
                "values": "100+0.5x600"}, {
                "series": 'kestrel_process_gdi_objects{session="7",pid="8",'
                          'process="slower.exe"}',
                "values": "100+0.4x600"}, {
                "series": 'kestrel_process_gdi_objects{session="7",pid="12",'
                          'process="held.exe"}',
                "values": "8000x600"}, {
                "series": 'kestrel_process_gdi_objects{session="7",pid="16",'
                          'process="churn.exe"}',
                "values": " ".join(["100 400"] * 300)}, {
                "series": 'kestrel_process_gdi_quota{session="6"}',
                "values": "10000x600"}, {
                "series": 'kestrel_process_gdi_quota{session="7"}',
                "values": "10000x600"}],
            "alert_rule_test": [
                # Reaching the quota is foreseen from the second sample, but
                # not yet for an hour.
                {"eval_time": "45m", "alertname": "KestrelGdiQuotaAhead",
                 "exp_alerts": []},
                {"eval_time": "8h", "alertname": "KestrelGdiQuotaAhead",
                 "exp_alerts": [{
                     "exp_labels": {"severity": "warning", "session": "6",
                                    "pid": "8", "process": "slow.exe"},
                     "exp_annotations": {"summary": (
                         "slow.exe (PID 8) grows towards its GDI quota: at "
                         "its slope over 6 hours it reaches it within 14 "
                         "days")},
                 }]},
                # Below one object a minute: the leak rule never fires.
                {"eval_time": "8h", "alertname": "KestrelGdiLeak",
                 "exp_alerts": []},
            ],
        }],
    }
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "kestrel_test.yml")
        with open(path, "w", encoding="utf-8") as f:
            json.dump(tests, f)  # JSON is YAML
        result = subprocess.run([promtool, "test", "rules", path],
                                capture_output=True, text=True)
    assert result.returncode == 0, result.stdout + result.stderr
    print("promtool test rules: %d series of the sample session's watch, "
          "the leak alert for mspaint.exe alone; the quota ahead alert for "
          "a leak of +0.5/min alone" % len(input_series))


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def scrape(port):
    with urllib.request.urlopen("http://127.0.0.1:%d/metrics" % port,
                                timeout=10) as response:
        return response.read()


def sample_signature(values):
    """What tells the samples of the sample session's watch apart."""
    gdi = {k: v for k, v in values.items()
           if k.startswith("kestrel_process_gdi_objects{")}
    return (len(gdi), gdi.get('kestrel_process_gdi_objects{pid="4780",'
                              'process="mspaint.exe",session="1"}'))


def start_exporter(node_exporter, folder):
    """node_exporter on a free loopback port, its textfile collector alone
    reading `folder`; its process and port once it answers."""
    for attempt in range(5):
        port = free_port()
        exporter = subprocess.Popen(
            [node_exporter, "--web.listen-address=127.0.0.1:%d" % port,
             "--collector.disable-defaults", "--collector.textfile",
             "--collector.textfile.directory=" + folder,
             "--web.disable-exporter-metrics"],
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        deadline = time.monotonic() + 20
        while exporter.poll() is None and time.monotonic() < deadline:
            try:
                scrape(port)
                return exporter, port
            except OSError:
                time.sleep(0.1)
        exporter.terminate()
        exporter.wait(timeout=20)
    raise AssertionError("node_exporter did not start: %s" %
                         exporter.stderr.read())


def check_sessions_side_by_side(kestrel, node_exporter):
    """A Remote Desktop host's two sessions, each with its own file in one
    folder, named by "{session}" in -O's name, beside the file that a third
    session's end emptied: every series of both reaches the scrape, none
    collides, and the empty file is no error."""
    sample = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                          "..", "data", "sample_session.txt")
    with open(sample, encoding="utf-8") as f:
        description = f.read()
    with tempfile.TemporaryDirectory() as folder:
        per_session = {}
        for session in ("1", "2"):
            path = os.path.join(folder, "session-%s.txt" % session)
            with open(path, "w", encoding="utf-8") as f:
                f.write("session %s\n" % session + description)
            run(kestrel, path, "-o", "prometheus", "-O",
                os.path.join(folder, "kestrel-session-{session}.prom"))
            target = os.path.join(folder, "kestrel-session-%s.prom" % session)
            with open(target, "rb") as f:
                per_session[session] = series(f.read())
            os.remove(path)
        open(os.path.join(folder, "kestrel-session-3.prom"), "wb").close()
        exporter, port = start_exporter(node_exporter, folder)
        try:
            body = scrape(port)
        finally:
            exporter.terminate()
            exporter.wait(timeout=20)
    assert b"\nnode_textfile_scrape_error 0\n" in body, body
    scraped = series(b"\n".join(line for line in body.splitlines()
                                if line.startswith(b"kestrel_")))
    wanted = {}
    for values in per_session.values():
        wanted.update(values)
    assert len(wanted) == sum(len(v) for v in per_session.values())
    assert scraped == wanted, set(scraped) ^ set(wanted)
    print("node_exporter: two sessions' files side by side, %d series each, "
          "all %d scraped, no scrape error:" % (len(per_session["1"]),
                                                len(scraped)))
    print("\n".join(line.decode() for line in body.splitlines()
                    if line.startswith((b"kestrel_table_slots",
                                        b"kestrel_process_gdi_quota",
                                        b"kestrel_last_sample",
                                        b"node_textfile_scrape_error"))))


def check_node_exporter(kestrel, node_exporter):
    watch = ["-o", "prometheus", "-w", "1", "-n", "20"]
    # The watch's samples as standard output has them.
    expected = {sample_signature(series(d))
                for d in documents(run(kestrel, None, *watch))}
    assert len(expected) == 6, expected

    with tempfile.TemporaryDirectory() as folder:
        target = os.path.join(folder, "kestrel.prom")
        run(kestrel, None, *watch, "-O", target)
        exporter, port = start_exporter(node_exporter, folder)
        try:
            # The watches write while the scrapes go on: the host build
            # does not wait between samples, so each watch replaces the
            # file 20 times in a moment, again and again.
            done = threading.Event()
            runs = []
            errors = []

            def write():
                try:
                    while not done.is_set():
                        run(kestrel, None, *watch, "-O", target)
                        runs.append(1)
                except AssertionError as error:
                    errors.append(error)
                    done.set()

            writer = threading.Thread(target=write)
            writer.start()
            scrapes = []
            try:
                while len(scrapes) < 100 and not done.is_set():
                    scrapes.append(scrape(port))
            finally:
                done.set()
                writer.join()
            assert not errors, errors
            assert len(runs) >= 2, len(runs)
            seen = set()
            for body in scrapes:
                values = series(b"\n".join(
                    line for line in body.splitlines()
                    if line.startswith((b"kestrel_", b"# "))))
                assert b"\nnode_textfile_scrape_error 0\n" in body, body
                for family in FAMILIES:
                    assert b"# TYPE " + family.encode() + b" gauge\n" in body, \
                        (family, body)
                signature = sample_signature(values)
                assert signature in expected, (signature, body)
                seen.add(signature)
            assert os.listdir(folder) == ["kestrel.prom"], os.listdir(folder)
            excerpt = [line for line in scrapes[-1].decode().splitlines()
                       if "mspaint" in line or line.startswith(
                           ("kestrel_session", "kestrel_table",
                            "node_textfile_scrape_error"))]
        finally:
            exporter.terminate()
            exporter.wait(timeout=20)
    print("node_exporter: %d scrapes during %d watches, each one whole "
          "sample (%d different ones seen), no scrape error; from the last:"
          % (len(scrapes), len(runs), len(seen)))
    print("\n".join(excerpt))


def main():
    command, kestrel = sys.argv[1], sys.argv[2]
    if command == "metrics":
        check_metrics(kestrel, sys.argv[3])
    elif command == "rules":
        check_rules(kestrel, sys.argv[3], sys.argv[4])
    elif command == "node-exporter":
        check_node_exporter(kestrel, sys.argv[3])
        check_sessions_side_by_side(kestrel, sys.argv[3])
    else:
        sys.exit("unknown check: " + command)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""kps-eval-cli script run and script check as records (--format json and
csv, read with real parsers), --export - and the --junit report, read back
with junitparser. Usage: script_records_check.py PATH-TO-kps-eval-cli"""
import atexit
import csv
import io
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

CLI = os.path.abspath(sys.argv[1])
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def run(*args, status):
    done = subprocess.run([CLI, *args], stdin=subprocess.DEVNULL, capture_output=True)
    check(done.returncode == status,
          f"{args}: exit status {done.returncode}, not {status}\n{done.stderr.decode()}")
    return done.stdout.decode(), done.stderr.decode()


def messages_apart(err):
    """The standard error's records (or CSV lines), apart from the tool's messages."""
    lines = err.splitlines(keepends=True)
    return "".join(l for l in lines if not l.startswith("kps-eval-cli: "))


def json_lines(text):
    return [json.loads(line) for line in text.splitlines()]


work = tempfile.mkdtemp(prefix="kps_script_records_")
atexit.register(shutil.rmtree, work, True)
os.chdir(work)
with open("a.txt", "w") as f:
    f.write("# setup\n01,A4\n01,,A4\n01,,00 # wrong\n08,,XX\n`wabc # a<b & \"c\"\n`w5\n`w\n"
            "`A90\n01,,00\n`A88\n02,22\n")
ALL = ["--simulated-board", "--format"]
RUN = ["script", "run", "a.txt", "--on-pause", "continue"]

# Every row kind and result, in JSON; the same run in CSV, the table on the standard output.
out, err = run(*ALL, "json", *RUN, "--export", "t.csv", "--junit", "r.xml", status=1)
records = json_lines(out)
rows, summary = records[:-1], records[-1]
expected = [  # line, kind, address, reg, write, expect, result
    (1, "comment", None, "", "", "", "ok"),
    (2, "write", "88", "01", "A4", "", "ok"),
    (3, "read", "88", "01", "", "A4", "pass"),
    (4, "read", "88", "01", "", "00", "fail"),
    (5, "read", "88", "08", "", "XX", "capture"),
    (6, "error", None, "", "", "", "error"),
    (7, "delay", None, "", "", "", "ok"),
    (8, "pause", None, "", "", "", "ok"),
    (9, "address", "90", "", "", "", "ok"),
    (10, "read", "90", "01", "", "00", "fail"),  # no chip at 90: no reading
    (11, "address", "88", "", "", "", "ok"),
    (12, "write", "88", "02", "22", "", "ok"),
]
keys = ("line", "kind", "address", "reg", "write", "expect", "result")
check([tuple(r[k] for k in keys) for r in rows] == expected, f"rows: {rows}")
check([r["read"] for r in rows if r["kind"] == "read"][:2] == ["A4", "A4"], "reads")
check(rows[9]["read"] is None and rows[9]["capture"] is None, f"no reading: {rows[9]}")
check(rows[4]["capture"] == int(rows[4]["read"], 16), f"capture: {rows[4]}")
check(rows[3]["comment"] == "# wrong" and "Delay Error" in rows[5]["comment"], "comments")
check(summary == {"total": 4, "pass": 1, "fail": 3}, f"summary: {summary}")
check("line 010: read failed: the chip at address 90 did not acknowledge" in err, err)

out, err = run(*ALL, "csv", *RUN, "--export", "-", status=1)
with open("t.csv", "rb") as f:
    check(out.encode() == f.read(), "--export - differs from the exported file")
csv_text = messages_apart(err)
check(csv_text.endswith("\r\nTotal 4 Pass 1 Fail 3\n"), f"CSV totals: {csv_text!r}")
as_text = [{k: "" if v is None else str(v) for k, v in r.items()} for r in rows]
check(list(csv.DictReader(io.StringIO(csv_text.rsplit("Total", 1)[0], newline=""))) == as_text,
      "CSV rows differ from the JSON rows")

# An early end: the rows not reached are not run, in the records and the report.
out, _ = run(*ALL, "json", *RUN, "--abort-on-fail", "--junit", "abort.xml", status=1)
check([r["result"] for r in json_lines(out)[2:-1]] == ["pass", "fail"] + ["not run"] * 8,
      f"abort: {out}")

# Two passes: a loop record after each, the table and the report on the standard output.
out, err = run(*ALL, "json", *RUN, "--loop", "2", "--junit", "-", status=1)
loops = [r for r in json_lines(messages_apart(err)) if "loop" in r]
check(loops == [{"loop": k, "total": 4, "pass": 1, "fail": 3} for k in (1, 2)], f"loops: {loops}")
with open("loop.xml", "w") as f:
    f.write(out)

# script check: one record a note, the count on the standard error.
with open("c.txt", "w") as f:
    f.write("01,ZZ\n08,,X\n")
notes = [{"line": 1, "level": "error", "message": 'Hex Error: Data_Wr "ZZ" is not hex'},
         {"line": 2, "level": "warning",
          "message": 'Data_Rd "0X" has an X but no XX: the row compares nothing and captures nothing'}]
out, err = run("--format", "json", "script", "check", "c.txt", status=1)
check(json_lines(out) == notes and err == "2 lines: 1 error row, 1 warning\n", f"check: {out}{err}")
out, err = run("--format", "csv", "script", "check", "c.txt", status=1)
check(list(csv.DictReader(io.StringIO(out, newline=""))) ==
      [{k: str(v) for k, v in n.items()} for n in notes], f"check CSV: {out!r}")

try:
    from junitparser import Error, Failure, JUnitXml
except ImportError:
    print("python3-junitparser is not installed: the JUnit report was not read back")
    for failure in failures:
        print("FAILED:", failure)
    sys.exit(1 if failures else 77)


def report(path):
    """Each suite's name, counts and cases: (name, outcome, message)."""
    suites = []
    for suite in JUnitXml.fromfile(path):
        check(re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d", suite.timestamp or "") is not None
              and suite.hostname, f"timestamp and hostname: {suite.timestamp} {suite.hostname}")
        cases = []
        for case in suite:
            check(case.classname == "a.txt", f"class {case.classname}")
            kinds = [(type(r).__name__, r.type, r.message) for r in case.result
                     if isinstance(r, (Failure, Error))]
            cases.append((case.name,) + (kinds[0] if kinds else ()))
        suites.append((suite.name, suite.tests, suite.failures, suite.errors, cases))
    return suites


NO_ACK = "read failed: the chip at address 90 did not acknowledge (reply status 00)"
cases = [
    ("line 003 reg 01 expect A4",),
    ("line 004 reg 01 expect 00", "Failure", "comparison", "read A4, expected 00"),
    ("line 005 reg 08 expect XX",),
    ("line 006", "Error", "row error",
     'the row is in error: # a<b & "c"Delay Error: Time not numeric'),
    ("line 010 reg 01 expect 00", "Error", "transfer", NO_ACK),
]
check(report("r.xml") == [("a.txt", 5, 1, 2, cases)], f"report: {report('r.xml')}")
not_run = ("Error", "not run", "not run: the run ended after line 4")
check(report("abort.xml") == [("a.txt", 5, 1, 3, cases[:2] + [c[:1] + not_run for c in cases[2:]])],
      f"report of the early end: {report('abort.xml')}")
check(report("loop.xml") == [(f"a.txt pass {k}", 5, 1, 2, cases) for k in (1, 2)],
      f"report of two passes: {report('loop.xml')}")

for failure in failures:
    print("FAILED:", failure)
sys.exit(1 if failures else 0)

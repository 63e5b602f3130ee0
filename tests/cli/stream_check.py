#!/usr/bin/env python3
"""kps-eval-cli collect --stream on the simulated board, read back with real
parsers: long streams as JSON Lines and CSV, memory that does not grow with
the stream, Ctrl-C, and the progress line (on a terminal only).

Usage: stream_check.py PATH_OF_KPS_EVAL_CLI [--sanitized]

--sanitized: the tool is built with AddressSanitizer, whose quarantine keeps
freed memory resident for a while: its memory says nothing and is not compared.
"""
import csv
import json
import os
import pty
import signal
import subprocess
import sys
import tempfile
import time
from datetime import datetime

CLI = os.path.abspath(sys.argv[1])
SANITIZED = "--sanitized" in sys.argv[2:]
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, file=sys.stderr)


def stream(args):
    return [CLI, "--simulated-board", "--write", "01=A4"] + args


def run(args):
    """Runs the tool: its exit status, output, errors and largest resident size (KiB)."""
    with tempfile.TemporaryFile() as err:
        child = subprocess.Popen(stream(args), stdout=subprocess.PIPE, stderr=err,
                                 stdin=subprocess.DEVNULL)
        out = child.stdout.read()
        _, status, usage = os.wait4(child.pid, 0)
        child.returncode = os.waitstatus_to_exitcode(status)
        child.stdout.close()
        err.seek(0)
        return child.returncode, out, err.read(), usage.ru_maxrss


def times_and_samples(records, what):
    times = [datetime.fromisoformat(r["time"].replace("Z", "+00:00")) for r in records]
    check(all(a <= b for a, b in zip(times, times[1:])), f"{what}: times never go back")
    check([int(r["sample"]) for r in records] == list(range(len(records))),
          f"{what}: samples numbered from 0 without a gap")


def json_stream():
    """A stream of 10000 samples, and the memory it took against one of 1000."""
    args = ["--format", "json", "collect", "--stream", "-", "--interval", "0", "--samples"]
    small = run(args + ["1000"])[3]
    status, out, err, large = run(args + ["10000"])
    check(SANITIZED or large <= small + 512, f"memory: {large} KiB for 10000 samples, {small} KiB for 1000")
    check(status == 0, f"json stream: exit status {status}, {err!r}")
    lines = out.decode().splitlines()
    records = [json.loads(line) for line in lines]
    check(len(records) == 10000, f"json stream: {len(records)} records of 10000")
    times_and_samples(records, "json stream")
    check(all(r["ok"] is True and r["prox"] == 26 and r["als_ir"] == 3276 and r["lux"] == 100
              for r in records), "json stream: every record the simulated chip's reading")
    # Not a terminal: the lines the command prints besides, and no progress.
    check(err == b"10000 samples streamed to the standard output\n", f"json stream: {err!r}")


def csv_stream_and_recording(folder):
    path, recording = os.path.join(folder, "s.csv"), os.path.join(folder, "m.csv")
    status, out, err, _ = run(["--format", "csv", "collect", "--stream", path, "--samples", "1200",
                            "--interval", "0", "--record", recording])
    check(status == 0, f"csv stream: exit status {status}, {err!r}")
    with open(path, newline="") as file:
        rows = list(csv.DictReader(file))
    check(len(rows) == 1200, f"csv stream: {len(rows)} rows of 1200")
    check(rows and list(rows[0]) == ["time", "sample", "prox", "als_ir", "lux", "ok"],
          "csv stream: the header")
    times_and_samples(rows, "csv stream")
    check(all(r["ok"] == "true" and r["als_ir"] == "3276" for r in rows), "csv stream: values")
    # The measurement file has what the console writes: its newest 999.
    with open(recording, newline="") as file:
        head = file.readline()
    check(head.rstrip("\r\n").endswith(", Qty 999"), f"recording with a stream: {head!r}")
    # In a machine format the notes go to the standard error, not among the records.
    check(b"999 Measurement set(s) written" in err, f"recording with a stream: {err!r}")


def ir_mode_has_no_lux():
    status, out, _, _ = run(["--write", "01=A5", "--format", "json", "collect", "--stream", "-",
                          "--samples", "20", "--interval", "0"])
    records = [json.loads(line) for line in out.decode().splitlines()]
    check(status == 0 and len(records) == 20 and all(r["lux"] is None for r in records),
          "IR mode: lux is null")


def interrupted():
    child = subprocess.Popen(stream(["--format", "json", "collect", "--stream", "-",
                                     "--interval", "0"]),
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    first = b""
    while b"\n" not in first:  # unbuffered: communicate() reads on from here
        first += os.read(child.stdout.fileno(), 4096)
    time.sleep(1.5)  # unread meanwhile: the pipe fills and the tool waits in a write
    child.send_signal(signal.SIGINT)
    out, err = child.communicate(timeout=30)
    text = (first + out).decode()
    check(child.returncode == 1, f"Ctrl-C: exit status {child.returncode}, {err!r}")
    check(text.endswith("\n"), "Ctrl-C: the last line is whole")
    records = [json.loads(line) for line in text.splitlines()]
    check(len(records) > 1, "Ctrl-C: records before it")
    times_and_samples(records, "Ctrl-C")


def on_terminal(args, folder):
    """What the tool writes on its error stream when that is a terminal."""
    master, slave = pty.openpty()
    with open(os.path.join(folder, "out.txt"), "wb") as out:
        child = subprocess.Popen(stream(args), stdout=out, stderr=slave,
                                 stdin=subprocess.DEVNULL, cwd=folder)
    os.close(slave)
    seen = b""
    while True:
        try:
            data = os.read(master, 4096)
        except OSError:  # the terminal closed with the tool
            break
        if not data:
            break
        seen += data
    child.wait(timeout=60)
    os.close(master)
    return child.returncode, seen


def progress(folder):
    status, seen = on_terminal(["collect", "--stream", "s.txt", "--samples", "300",
                                "--interval", "1"], folder)
    check(status == 0 and b"\r300 of 300 samples, 0:0" in seen and seen.endswith(b"\x1b[K\r\n"),
          f"progress of a stream on a terminal: {seen!r}")
    with open(os.path.join(folder, "s.txt"), "w") as script:
        script.write("01,A4\n01,,A4\n00,,71\n")
    status, seen = on_terminal(["script", "run", "s.txt"], folder)
    check(status == 0 and b"\r3 of 3 rows, 0:0" in seen and seen.endswith(b"\r\n"),
          f"progress of a script on a terminal: {seen!r}")
    status, _, err, _ = run(["collect", "--samples", "9", "--interval", "0", "--record",
                          os.path.join(folder, "m.txt")])
    check(status == 0 and b"\r" not in err and b"elapsed" not in err,
          f"no progress on a pipe: {err!r}")


def unwritable(folder):
    path = os.path.join(folder, "missing", "s.txt")
    status, out, err, _ = run(["collect", "--stream", path, "--samples", "10"])
    check(status == 2 and out == b"" and b'Cannot write the stream file "' + path.encode() in err,
          f"a stream file that cannot be written: {status}, {err!r}")


with tempfile.TemporaryDirectory() as folder:
    json_stream()
    csv_stream_and_recording(folder)
    ir_mode_has_no_lux()
    interrupted()
    progress(folder)
    unwritable(folder)

print(f"{len(failures)} failed" if failures else "all passed")
sys.exit(1 if failures else 0)

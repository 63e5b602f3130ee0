#!/usr/bin/env python3
"""kps-eval-cli's records read back with real CSV and JSON parsers: info, the
register commands and measure in both machine formats, failed reads as
records with ok false, hex arguments with 0x, '-' as the standard output, and
the statistics of --stats against Python's own over the same readings.

Usage: records_check.py PATH-TO-kps-eval-cli
"""
import csv
import io
import os
import json
import re
import statistics
import subprocess
import sys
import unittest

CLI = None
SIM = ["--simulated-board"]


def run(*args, expect=0):
    done = subprocess.run([CLI, *args], capture_output=True, stdin=subprocess.DEVNULL)
    if done.returncode != expect:
        raise AssertionError(f"{args}: exit {done.returncode}, wanted {expect}\n"
                             f"{done.stderr.decode(errors='replace')}")
    return done.stdout.decode("utf-8"), done.stderr.decode("utf-8")


def json_lines(text):
    return [json.loads(line) for line in text.splitlines()]


def csv_rows(text):
    # RFC 4180: CR LF line ends, one header line.
    assert text.endswith("\r\n") and "\n" not in text.replace("\r\n", ""), repr(text[:80])
    return list(csv.DictReader(io.StringIO(text, newline="")))


class Records(unittest.TestCase):
    def test_registers_in_both_formats_with_0x_arguments(self):
        out, _ = run(*SIM, "--format", "json", "--write", "0x01=0xA4", "reg", "read", "0x00", "3")
        self.assertEqual(json_lines(out), [
            {"reg": 0, "name": "ID", "value": 0x71, "hex": "71", "ok": True},
            {"reg": 1, "name": "CONF", "value": 0xA4, "hex": "A4", "ok": True},
            {"reg": 2, "name": "INTR", "value": 0, "hex": "00", "ok": True}])
        out, _ = run(*SIM, "--format", "csv", "reg", "dump")
        rows = csv_rows(out)
        self.assertEqual([int(r["reg"]) for r in rows], list(range(16)))
        self.assertEqual(rows[4], {"reg": "4", "name": "P_HT", "value": "255", "hex": "FF",
                                   "ok": "true"})
        out, _ = run(*SIM, "--format", "json", "--address", "0x88", "reg", "write", "0x03",
                     "0x10", "40")
        self.assertEqual([(r["reg"], r["hex"], r["ok"]) for r in json_lines(out)],
                         [(3, "10", True), (4, "40", True)])

    def test_measure_and_a_failed_read_is_a_record_with_ok_false_and_no_value(self):
        out, _ = run(*SIM, "--format", "json", "--write", "01=A4", "measure", "--count", "3",
                     "--interval", "0")
        readings = json_lines(out)
        self.assertEqual([r["sample"] for r in readings], [0, 1, 2])
        for r in readings:
            self.assertRegex(r["time"], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$")
            self.assertEqual((r["prox"], r["als_ir"], r["ok"]), (26, 3276, True))
            self.assertAlmostEqual(r["lux"], 100, delta=1)
        # IR mode: the count is no light level, so lux is null.
        out, _ = run(*SIM, "--format", "csv", "--write", "01=A5", "measure")
        self.assertEqual(csv_rows(out)[0]["lux"], "")
        # No chip at 8A: the read fails, and says so as data, never as zeros.
        out, err = run(*SIM, "--format", "json", "--address", "8A", "reg", "read", "0", expect=1)
        self.assertEqual(json_lines(out), [{"reg": 0, "name": "ID", "value": None, "hex": None,
                                            "ok": False}])
        self.assertIn("did not acknowledge", err)

    def test_info_is_one_record_and_says_what_is_unknown(self):
        out, _ = run(*SIM, "--format", "json", "info")
        (info,) = json_lines(out)
        self.assertEqual((info["attached"], info["usb_id"], info["chip_id"], info["i2c_address"]),
                         (True, "1209:a710", "71", "88"))
        out, _ = run(*SIM, "--sim-unplugged", "--format", "csv", "info", expect=3)
        (info,) = csv_rows(out)
        self.assertEqual((info["attached"], info["serial"], info["chip_id"]), ("false", "", ""))

    def test_dash_puts_the_measurement_file_on_the_standard_output(self):
        out, err = run(*SIM, "--write", "01=A4", "collect", "--samples", "9", "--record", "-")
        lines = out.splitlines()
        self.assertRegex(lines[0], r"^Collect Reg0:&h00 :Reg1 &hA4,Interval 50, .*, Qty 9$")
        self.assertEqual(lines[1], "Measurement#,Proximity (8-bit),ALS/IR (12-bit)")
        self.assertEqual(len(lines), 12)
        self.assertEqual(lines[-1], "END")
        self.assertIn("9 Measurement set(s) written", err)
        # In a machine format every reading of the collection is a record too:
        # the eleven the file leaves out, then the nine it holds.
        out, _ = run(*SIM, "--format", "json", "--write", "01=A4", "collect", "--samples", "9",
                     "--interval", "0", "--record", os.devnull)
        self.assertEqual([r["sample"] for r in json_lines(out)], list(range(20)))

    def test_stats_are_the_statistics_of_the_readings_before_them(self):
        def figures(values):
            if not values:
                return [0, None, None, None, None, None]
            sd = statistics.stdev(values) if len(values) > 1 else None
            return [len(values), statistics.mean(values), sd, min(values), max(values),
                    max(values) - min(values)]

        def check(readings, stats):
            self.assertEqual(stats["kind"], "stats")
            for key in ("prox", "als_ir", "lux"):
                values = [r[key] for r in readings if r["ok"] and r[key] is not None]
                for name, want in zip(("n", "mean", "sd", "min", "max", "pp"), figures(values)):
                    got = stats[f"{key}_{name}"]
                    if want is None:
                        self.assertIsNone(got, f"{key}_{name}")
                    else:
                        # Lux statistics come from the exact conversion of
                        # each count, the records show it to two decimals.
                        delta = 0.0051 if key == "lux" else 0.0006
                        self.assertAlmostEqual(got, want, delta=delta, msg=f"{key}_{name}")

        # Noise, so that every figure means something; 1 % of proximity has
        # the standard deviation 1.462 (docs/simulated-board.md).
        out, _ = run(*SIM, "--sim-noise", "1", "--format", "json", "--write", "01=A4", "measure",
                     "--count", "400", "--interval", "0", "--stats")
        *readings, stats = json_lines(out)
        self.assertEqual(len(readings), 400)
        check(readings, stats)
        self.assertAlmostEqual(stats["prox_sd"], 1.462, delta=0.15)
        # A stream ends with them, in CSV with a header of their own; IR mode has no lux.
        out, _ = run(*SIM, "--format", "csv", "--write", "01=A5", "collect", "--stream", "-",
                     "--samples", "12", "--interval", "0", "--stats")
        head, tail = out.split("\r\nkind,", 1)
        readings = [{k: (None if v == "" else v == "true" if k == "ok" else
                         float(v) if k in ("prox", "als_ir", "lux") else v)
                     for k, v in r.items()} for r in csv_rows(head + "\r\n")]
        (stats,) = csv_rows("kind," + tail)
        stats = {k: (v if k == "kind" else None if v == "" else float(v)) for k, v in stats.items()}
        self.assertEqual((len(readings), stats["prox_n"], stats["lux_n"]), (12, 12, 0))
        check(readings, stats)
        # collect: over the samples the file holds, not the eleven before them.
        out, _ = run(*SIM, "--write", "01=A4", "collect", "--samples", "9", "--record", os.devnull,
                     "--stats")
        lines = out.splitlines()
        self.assertEqual(lines[:3], [
            "prox   n 9  mean 26  sd 0  min 26  max 26  pp 0",
            "als_ir n 9  mean 3276  sd 0  min 3276  max 3276  pp 0",
            "lux    n 9  mean 100  sd 0  min 100  max 100  pp 0"])
        self.assertIn("9 Measurement set(s) written", lines[3])

    def test_bad_formats_and_hex_are_refused_with_the_reason(self):
        _, err = run(*SIM, "--format", "xml", "info", expect=2)
        self.assertIn("--format needs text, csv or json", err)
        _, err = run(*SIM, "reg", "read", "0x10", expect=2)
        self.assertIn('REG "0x10" is not a register', err)
        _, err = run(*SIM, "--write", "0x01=0x1FF", "info", expect=2)
        self.assertIn("--write needs REG=VALUE", err)


if __name__ == "__main__":
    CLI = sys.argv.pop(1)
    unittest.main(verbosity=1)

#!/usr/bin/env python3
"""ar4conv table read back by standard readers: the CSV with Python's csv module, the workbook with
openpyxl. Every CSV number is a single-precision value; the workbook holds the same numbers, times and
status codes, with empty cells for flagged channels, infinities and NaN.

Usage: table_readback.py AR4CONV AR4GEN SCRATCH_FOLDER
Exit 77 (skipped) when openpyxl is not installed.
"""
import csv
import datetime
import math
import os
import struct
import subprocess
import sys

try:
    import openpyxl
except ImportError:
    print("openpyxl is not installed: skipped")
    sys.exit(77)


def float32(value):
    return struct.unpack("<f", struct.pack("<f", value))[0]


def run(*args):
    subprocess.run(list(args), check=True)


def main():
    ar4conv, ar4gen, scratch = sys.argv[1:4]
    os.makedirs(scratch, exist_ok=True)
    failures = 0
    for device_type in (73, 75, 89):
        archive = os.path.join(scratch, "r%d.ar4" % device_type)
        run(ar4gen, "-o", archive, "--type", str(device_type), "--pages", "40", "--setbacks", "2",
            "--flagged", "0.1", "--special", "0.2", "--zero-stamps", "0.02", "--damage-checksum", "0.02",
            "--seed", str(device_type))
        csv_path = os.path.join(scratch, "r%d.csv" % device_type)
        xlsx_path = os.path.join(scratch, "r%d.xlsx" % device_type)
        run(ar4conv, "table", archive, "--from", "2000-01-01", "--status", "-o", csv_path)
        run(ar4conv, "table", archive, "--from", "2000-01-01", "--status", "-o", xlsx_path)

        with open(csv_path, newline="", encoding="utf-8") as f:
            rows = list(csv.reader(f))
        book = openpyxl.load_workbook(xlsx_path, read_only=True)
        if book.sheetnames != ["Data", "Report", "Runs"]:
            print(device_type, "sheets", book.sheetnames)
            failures += 1
        sheet_rows = [list(r) for r in book["Data"].iter_rows(values_only=True)]
        if len(sheet_rows) != len(rows) or sheet_rows[0] != rows[0]:
            print(device_type, "rows", len(sheet_rows), len(rows), sheet_rows[0], rows[0])
            failures += 1
            continue
        header = rows[0]
        for number, (text_row, cell_row) in enumerate(zip(rows[1:], sheet_rows[1:]), start=2):
            for name, text, cell in zip(header, text_row, cell_row):
                if name == "time":
                    try:
                        moment = datetime.datetime.fromisoformat(text)
                    except ValueError:
                        moment = None  # fields that are no real date: text in the workbook too
                    ok = cell == text if moment is None else (
                        isinstance(cell, datetime.datetime) and abs((cell - moment).total_seconds()) < 0.0005)
                elif name.endswith("_status") or name.startswith("Rele") or name in ("AuxA", "AuxB"):
                    ok = cell == int(text)
                elif text == "":
                    ok = cell is None
                else:
                    value = float(text)
                    if math.isinf(value) or math.isnan(value):
                        ok = cell is None
                    else:
                        # The workbook holds the number that reads back as the same single.
                        ok = float32(float(cell)) == float32(value)
                if not ok:
                    failures += 1
                    if failures < 20:
                        print(device_type, "row", number, name, repr(text), repr(cell))
        report = [r[0] for r in book["Report"].iter_rows(values_only=True) if r and r[0]]
        if not report or not report[0].startswith("Тип прибора"):
            print(device_type, "report", report[:2])
            failures += 1
        runs = list(book["Runs"].iter_rows(values_only=True))
        if runs[0] != ("run", "first time", "last time", "cells") or len(runs) < 2:
            print(device_type, "runs", runs[:2])
            failures += 1
    print("failures:", failures)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

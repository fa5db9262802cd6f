#!/usr/bin/env python3
"""The workbooks of "ar4conv table" hold the same under Windows (ar4conv.exe run by Wine) and Linux: the
same sheets in the same order and, cell by cell, the same values and number formats. The files are not
compared byte for byte, since a workbook records when it was made. The Windows program writes into a
folder with a Cyrillic name, where a file name must go through the wide Windows API.

Usage: workbooks_match.py WINE AR4CONV_EXE AR4GEN_EXE LINUX_AR4CONV SAMPLES_DIR
Exit 77 (skipped) when the Linux program is not given or openpyxl is not installed.
"""
import os
import shutil
import subprocess
import sys
import tempfile

try:
    import openpyxl
except ImportError:
    print("openpyxl is not installed: skipped")
    sys.exit(77)


def windows_path(path):
    """A path of this machine as Wine's Z: drive sees it."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def contents(path):
    """The sheet names and, per sheet, every row's (value, number format) pairs."""
    book = openpyxl.load_workbook(path, read_only=True)
    sheets = []
    for name in book.sheetnames:
        rows = [[(cell.value, getattr(cell, "number_format", None)) for cell in row]
                for row in book[name].iter_rows()]
        sheets.append((name, rows))
    book.close()
    return sheets


def first_difference(linux, windows):
    if [name for name, _ in linux] != [name for name, _ in windows]:
        return "sheets %s (Linux) and %s (Windows)" % ([n for n, _ in linux], [n for n, _ in windows])
    for (name, linux_rows), (_, windows_rows) in zip(linux, windows):
        if len(linux_rows) != len(windows_rows):
            return "%s: %d rows (Linux) and %d (Windows)" % (name, len(linux_rows), len(windows_rows))
        for number, (a, b) in enumerate(zip(linux_rows, windows_rows), start=1):
            if a != b:
                return "%s row %d: %r (Linux) and %r (Windows)" % (name, number, a[:8], b[:8])
    return None


def main():
    wine, windows_cli, windows_gen, linux_cli, samples = sys.argv[1:6]
    if not linux_cli or not os.access(linux_cli, os.X_OK):
        print("no Linux ar4conv given (AR4_LINUX_CLI): skipped")
        return 77
    work = tempfile.mkdtemp(prefix="ar4-workbooks.")
    try:
        # A bundled sample, the type with milliseconds and auxiliary columns, and a generated archive of
        # several runs (clock set-backs) with flagged channels and awkward values, with status columns.
        generated = os.path.join(work, "runs.ar4")
        subprocess.run([wine, windows_gen, "-o", windows_path(generated), "--type", "75", "--pages", "40",
                        "--setbacks", "2", "--flagged", "0.1", "--special", "0.2", "--seed", "5"],
                       check=True, stdout=subprocess.DEVNULL)
        cases = [
            ("vr7731", os.path.join(samples, "vr7731.ar4"), []),
            ("grv300", os.path.join(samples, "grv300.ar4"), []),
            ("runs", generated, ["--status", "--from", "2000-01-01"]),
        ]
        windows_folder = os.path.join(work, "книги")
        os.makedirs(windows_folder)
        failures = 0
        for label, archive, options in cases:
            linux_book = os.path.join(work, label + ".xlsx")
            windows_book = os.path.join(windows_folder, label + ".xlsx")
            linux = subprocess.run([linux_cli, "table", archive, "-o", linux_book] + options,
                                   capture_output=True, text=True)
            windows = subprocess.run([wine, windows_cli, "table", windows_path(archive), "-o",
                                      windows_path(windows_book)] + options, capture_output=True, text=True)
            if linux.returncode != 0 or windows.returncode != 0:
                print("FAIL %s: exit code %d (Linux) and %d (Windows)" % (label, linux.returncode,
                                                                          windows.returncode))
                print(linux.stderr[:500] + windows.stderr[:500])
                failures += 1
                continue
            linux_contents = contents(linux_book)
            difference = first_difference(linux_contents, contents(windows_book))
            if difference:
                print("FAIL %s: %s" % (label, difference))
                failures += 1
            else:
                sheets = ", ".join("%s (%d rows)" % (name, len(rows)) for name, rows in linux_contents)
                print("%s: the same %s" % (label, sheets))
        return 1 if failures else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())

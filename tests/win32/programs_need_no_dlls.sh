#!/usr/bin/env bash
# The Windows programs are single files: they import only DLLs of Windows itself, none of the compiler's
# run-times (libstdc++, libgcc, winpthread) or of the libraries linked into them (zlib, libxlsxwriter).
# Usage: programs_need_no_dlls.sh OBJDUMP PROGRAM.exe...
set -uo pipefail
objdump=$1; shift
fail=0
for program in "$@"; do
  dlls=$("$objdump" -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
  if [ -z "$dlls" ]; then
    echo "FAIL $(basename "$program"): no import table read"
    fail=1
    continue
  fi
  # Windows' own DLLs carry no "lib" prefix; the mingw-w64 run-times and ported libraries do (zlib's
  # own Windows build is zlib1.dll).
  foreign=$(grep -E '^lib|^zlib|xlsxwriter' <<<"$dlls")
  if [ -n "$foreign" ]; then
    echo "FAIL $(basename "$program") needs $(tr '\n' ' ' <<<"$foreign")"
    fail=1
  else
    echo "$(basename "$program"): $(tr '\n' ' ' <<<"$dlls")"
  fi
done
exit $fail

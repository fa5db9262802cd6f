#!/usr/bin/env bash
# Checks installed data files with the tools that read them; exit 77 (skipped) when the tool is missing.
#   data_files_test.sh man PAGE...        man --warnings prints nothing for each page
#   data_files_test.sh desktop ENTRY...   desktop-file-validate accepts each entry
#   data_files_test.sh mime PACKAGE       the MIME database built from it knows application/x-ar4 by
#                                         the glob *.ar4, without regard to case
set -euo pipefail
kind=$1
shift
need() { command -v "$1" >/dev/null || { echo "data_files_test: $1 is missing (scripts/setup)" >&2; exit 77; }; }
status=0
case $kind in
  man)
    need man
    for page in "$@"; do
      warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null) || { echo "$page: man failed" >&2; status=1; }
      if [ -n "$warnings" ]; then echo "$page:" >&2; echo "$warnings" >&2; status=1; fi
    done ;;
  desktop)
    need desktop-file-validate
    for entry in "$@"; do
      output=$(desktop-file-validate "$entry" 2>&1) || status=1
      if [ -n "$output" ]; then echo "$output" >&2; status=1; fi
    done ;;
  mime)
    need update-mime-database
    work=$(mktemp -d "${TMPDIR:-/tmp}/ar4-mime.XXXXXX")
    trap 'rm -rf "$work"' EXIT
    mime=$work/share/mime
    mkdir -p "$mime/packages"
    cp "$1" "$mime/packages/"
    output=$(XDG_DATA_DIRS=$work/share update-mime-database "$mime" 2>&1)
    if [ -n "$output" ]; then echo "$output" >&2; status=1; fi
    # globs2 lines: weight:type:glob[:flags]; "cs" would make the glob case-sensitive.
    if ! grep -qx '[0-9]*:application/x-ar4:\*\.ar4' "$mime/globs2" || grep -q '^[0-9]*:application/x-ar4:.*:cs' "$mime/globs2"; then
      echo "no case-insensitive glob *.ar4 for application/x-ar4:" >&2
      cat "$mime/globs2" >&2
      status=1
    fi
    grep -qx 'application/x-ar4:ar4conv' "$mime/icons" || { echo "no icon for application/x-ar4" >&2; status=1; } ;;
  *) echo "data_files_test: unknown kind $kind" >&2; exit 2 ;;
esac
exit $status

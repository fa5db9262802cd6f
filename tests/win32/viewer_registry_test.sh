#!/usr/bin/env bash
# The viewer search against Wine's real registry: installer folders added as value names of
# HKLM\SOFTWARE\MICROSOFT\Windows\CurrentVersion\Installer\Folders with "wine reg add", the viewer's
# files created under drive_c, and the search run by viewer_search_probe.exe and by "ar4conv.exe convert"
# without a target, which writes into the viewer's data folder.
# Usage: viewer_registry_test.sh WINE PROBE_EXE AR4CONV_EXE SAMPLE_ARCHIVE
set -euo pipefail
wine=$1
probe=$2
cli=$3
sample=$4
prefix=${WINEPREFIX:-$HOME/.wine}
key='HKLM\SOFTWARE\MICROSOFT\Windows\CurrentVersion\Installer\Folders'

base="ar4 viewer test $$"          # blanks on purpose: the launch must quote the path
unix_root="$prefix/drive_c/$base"
win_root="C:\\$base"
names=(
  "$win_root\\A\\TrendoraStudio\\"   # listed, but without the executable
  "$win_root\\b\\trendorastudio\\"   # the executable, but the name only in other letter case
  "$win_root\\C\\TrendoraStudio"     # the executable and the settings: the one found
  "$win_root\\D\\TrendoraStudio\\"   # the executable too, but listed after C
)

cleanup() {
  for name in "${names[@]}"; do
    "$wine" reg delete "$key" /v "$name" /f >/dev/null 2>&1 || true
  done
  rm -rf "$unix_root"
}
trap cleanup EXIT

mkdir -p "$unix_root/A/TrendoraStudio" "$unix_root/b/trendorastudio" "$unix_root/C/TrendoraStudio" \
         "$unix_root/D/TrendoraStudio" "$unix_root/Данные"
# A real program as the viewer, so that starting it can be tried: the probe itself.
cp "$probe" "$unix_root/b/trendorastudio/TrendoraStudio.exe"
cp "$probe" "$unix_root/C/TrendoraStudio/TrendoraStudio.exe"
cp "$probe" "$unix_root/D/TrendoraStudio/TrendoraStudio.exe"
printf '%s\r\nsecond line\r\n' "$win_root\\Данные\\" > "$unix_root/C/TrendoraStudio/Settings.ini"
printf '%s\r\n' "$win_root" > "$unix_root/D/TrendoraStudio/Settings.ini"

for name in "${names[@]}"; do
  "$wine" reg add "$key" /v "$name" /t REG_SZ /d "" /f >/dev/null
done

output=$("$wine" "$probe" --launch | tr -d '\r')
echo "$output"

fail=0
expect() {
  if ! grep -qxF -- "$1" <<<"$output"; then
    echo "missing: $1"
    fail=1
  fi
}
for name in "${names[@]}"; do expect "name=$name"; done
expect "found=1"
expect "executable=$win_root\\C\\TrendoraStudio\\TrendoraStudio.exe"
expect "data=$win_root\\Данные\\"
expect "launched=1"

# The command line converts into the data folder the search found.
if [ -f "$sample" ]; then
  if "$wine" "$cli" convert "Z:${sample//\//\\}" >/dev/null; then
    if ! ls "$unix_root/Данные/"*/StandartConfig/DB/*/Pen.txt >/dev/null 2>&1; then
      echo "ar4conv convert wrote nothing into the viewer's data folder"
      fail=1
    fi
  else
    echo "ar4conv convert without a target failed"
    fail=1
  fi
fi

# Without the executable in C, D is next in the list.
rm "$unix_root/C/TrendoraStudio/TrendoraStudio.exe"
output=$("$wine" "$probe" | tr -d '\r')
expect "executable=$win_root\\D\\TrendoraStudio\\TrendoraStudio.exe"
expect "data=$win_root"

# Without any listed folder nothing is found.
cleanup
output=$("$wine" "$probe" | tr -d '\r')
expect "found=0"
expect "data="
# ... and the command line, given no target, has none to write into: a usage error.
if [ -f "$sample" ]; then
  code=0
  "$wine" "$cli" convert "Z:${sample//\//\\}" >/dev/null 2>&1 || code=$?
  if [ "$code" != 2 ]; then
    echo "ar4conv convert without a target and without a viewer: exit $code, expected 2"
    fail=1
  fi
fi
exit $fail

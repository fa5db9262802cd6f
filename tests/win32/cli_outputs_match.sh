#!/usr/bin/env bash
# The command line's results are byte-identical under Windows (ar4conv.exe run by Wine) and Linux: the
# folder trees written by "convert", the output of "report" (also --raw and --json) and "runs", the CSV
# tables of "table", the messages and the exit codes. The archives are the bundled samples and a few made by ar4gen.exe.
# Usage: cli_outputs_match.sh WINE AR4CONV_EXE AR4GEN_EXE LINUX_AR4CONV SAMPLES_DIR
# Exit 77 (skipped) when the Linux program is not given.
set -uo pipefail
wine=$1
windows_cli=$2
windows_gen=$3
linux_cli=$4
samples=$5

if [ -z "$linux_cli" ] || [ ! -x "$linux_cli" ]; then
  echo "no Linux ar4conv given (AR4_LINUX_CLI): skipped"
  exit 77
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/ar4-cli-match.XXXXXX")
trap 'rm -rf "$work"' EXIT

# A path of this machine as Wine's Z: drive sees it.
winpath() { printf 'Z:%s' "${1//\//\\}"; }

archives=()
for sample in "$samples"/*.ar4; do
  [ -f "$sample" ] && archives+=("$sample")
done
# Generated archives of every type, with clock set-backs, damaged cells and awkward values.
mkdir -p "$work/generated"
generate() {
  local name=$1; shift
  "$wine" "$windows_gen" -o "$(winpath "$work/generated/$name.ar4")" "$@" >/dev/null || return 1
  archives+=("$work/generated/$name.ar4")
}
generate t73 --type 73 --pages 40 --setbacks 3 --damage-checksum 0.02 --special 0.05 --flagged 0.05
generate t74 --type 74 --pages 40 --setbacks 1 --zero-stamps 0.02 --equal-stamps 0.05 --wrap-slot 100
generate t75 --type 75 --pages 60 --setbacks 2 --damage-marker 0.02 --flagged 0.1
generate t76 --type 76 --pages 30 --setbacks 25 --ones-stamps 0.02 --special 0.1
generate t89 --type 89 --pages 40 --setbacks 2 --special 0.1 --flagged 0.05 --sample-interval 0
generate t80 --type 80 --pages 4

fail=0
checked=0
# Runs one command on both sides and compares the exit code, stdout and stderr byte for byte. Output
# paths are given as "@OUT@" and become each side's own folder; stdout of "convert" names that folder
# and is not compared.
compare() {
  local label=$1 compare_stdout=$2; shift 2
  local linux_args=() windows_args=() arg
  rm -rf "$work/linux" "$work/windows"
  mkdir -p "$work/linux" "$work/windows"
  for arg in "$@"; do
    case $arg in
      @OUT@) linux_args+=("$work/linux"); windows_args+=("$(winpath "$work/windows")") ;;
      @ARCHIVE@*) linux_args+=("${arg#@ARCHIVE@}"); windows_args+=("$(winpath "${arg#@ARCHIVE@}")") ;;
      *) linux_args+=("$arg"); windows_args+=("$arg") ;;
    esac
  done
  "$linux_cli" "${linux_args[@]}" >"$work/linux.out" 2>"$work/linux.err"
  local linux_code=$?
  "$wine" "$windows_cli" "${windows_args[@]}" >"$work/windows.out" 2>"$work/windows.err"
  local windows_code=$?
  if [ "$windows_code" != "$linux_code" ] && [ ! -s "$work/windows.out" ]; then
    # A Windows run that ended without writing anything to stdout can be Wine failing to start or to
    # serve the program under heavy load: it is tried once more, and the first attempt is shown.
    echo "note: $label: the Windows run gave exit code $windows_code and no output; run again"
    head -c 500 "$work/windows.err"
    rm -rf "$work/windows"
    mkdir -p "$work/windows"
    "$wine" "$windows_cli" "${windows_args[@]}" >"$work/windows.out" 2>"$work/windows.err"
    windows_code=$?
  fi
  checked=$((checked + 1))
  if [ "$linux_code" != "$windows_code" ]; then
    echo "FAIL $label: exit code $linux_code (Linux) and $windows_code (Windows)"
    fail=1
  fi
  if [ "$compare_stdout" = yes ] && ! cmp -s "$work/linux.out" "$work/windows.out"; then
    echo "FAIL $label: standard output differs"
    cmp "$work/linux.out" "$work/windows.out" | head -3
    fail=1
  fi
  if ! cmp -s "$work/linux.err" "$work/windows.err"; then
    echo "FAIL $label: standard error differs"
    diff <(head -c 2000 "$work/linux.err") <(head -c 2000 "$work/windows.err") | head -10
    fail=1
  fi
  if ! diff -r "$work/linux" "$work/windows" >"$work/tree.diff"; then
    echo "FAIL $label: the written files differ"
    head -10 "$work/tree.diff"
    fail=1
  fi
}

for archive in "${archives[@]}"; do
  name=$(basename "$archive")
  compare "$name report" yes report "@ARCHIVE@$archive"
  compare "$name report --raw --detailed" yes report "@ARCHIVE@$archive" --raw --detailed
  compare "$name report --json" yes report "@ARCHIVE@$archive" --json
  compare "$name runs" yes runs "@ARCHIVE@$archive"
  compare "$name convert" no convert "@ARCHIVE@$archive" --out @OUT@
  compare "$name convert --run 2 --detailed" no convert "@ARCHIVE@$archive" --viewer-data @OUT@ --run 2 --detailed
  compare "$name convert range --sort" no convert "@ARCHIVE@$archive" --out @OUT@ --from 2000-01-01 --sort \
    --decimal-separator ,
  compare "$name convert range" no convert "@ARCHIVE@$archive" --out @OUT@ --from 2014-01-01 --to 2014-01-02
  # The separator of the regional settings: the user's locale on each side.
  LC_ALL=ru_RU.UTF-8 compare "$name convert (ru_RU)" no convert "@ARCHIVE@$archive" --out @OUT@
  compare "$name table --status" yes table "@ARCHIVE@$archive" --status
  compare "$name table range --sort" yes table "@ARCHIVE@$archive" --from 2000-01-01 --sort --decimal-separator , --bom
  compare "$name table -o DIR --run 2" yes table "@ARCHIVE@$archive" --run 2 -o @OUT@
done
# Rejected files and a missing one.
printf 'ar' >"$work/short.ar4"
head -c 600 /dev/zero >"$work/foreign.ar4"
compare "short file" yes report "@ARCHIVE@$work/short.ar4"
compare "foreign signature" yes report "@ARCHIVE@$work/foreign.ar4"
compare "missing file" yes convert "@ARCHIVE@$work/missing.ar4" --out @OUT@
compare "table of a missing file" yes table "@ARCHIVE@$work/missing.ar4" -o @OUT@

echo "$checked comparisons over ${#archives[@]} archives"
if [ "$fail" -ne 0 ]; then exit 1; fi
echo "all identical"

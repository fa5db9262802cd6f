#!/usr/bin/env bash
# The bash completion of ar4conv: commands, a command's options, archives in any case, folders after
# --out, the formats after --format and the run numbers of the archive on the line after --run.
#   completion_test.sh COMPLETION AR4CONV SAMPLES
set -euo pipefail
completion=$(realpath "$1") ar4conv=$(realpath "$2") samples=$(realpath "$3")
work=$(mktemp -d "${TMPDIR:-/tmp}/ar4-completion.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/out" "$work/bin"
cp "$samples/vr7731.ar4" "$work/one.ar4"
cp "$samples/vr7731.ar4" "$work/TWO.AR4"
echo text >"$work/notes.txt"
ln -s "$ar4conv" "$work/bin/ar4conv"
cd "$work"
# shellcheck source=/dev/null
source "$completion"
status=0
expect() {
  local want=$1
  shift
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  # As in an interactive shell: a failing command inside the completion does not end it.
  set +e
  _ar4conv
  set -e
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ')
  if [ "$got" != "$want " ]; then
    echo "completion of '$*': got '$got', want '$want '" >&2
    status=1
  fi
}
expect 'convert' ar4conv con
expect '--decimal-separator --detailed' ar4conv convert --de
expect 'TWO.AR4 bin one.ar4 out' ar4conv convert ''
expect 'bin out' ar4conv convert one.ar4 --out ''
expect 'csv xlsx' ar4conv table one.ar4 --format ''
expect "$(seq -s ' ' 1 "$(bin/ar4conv runs one.ar4 | wc -l)")" bin/ar4conv convert one.ar4 --run ''
exit $status

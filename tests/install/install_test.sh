#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR with the prefix /usr, compares the installed files with
# installed_files.txt, checks that each PNG icon has the size of its folder, and runs the installed
# ar4conv: --version and one conversion of an installed sample.
#   install_test.sh BUILD_DIR VERSION WITH_GUI WITH_VIEW   (WITH_*: 1 or 0)
set -euo pipefail
build=$1 version=$2 with_gui=$3 with_view=$4
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/ar4-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "install_test: $*" >&2; exit 1; }

DESTDIR=$work/root cmake --install "$build" --prefix /usr >/dev/null
prefix=$work/root/usr

expected=$work/expected
while IFS= read -r line; do
  case $line in
    '#'* | '') continue ;;
    'gui: '*) [ "$with_gui" = 1 ] && echo "${line#gui: }" ;;
    'view: '*) [ "$with_view" = 1 ] && echo "${line#view: }" ;;
    *) echo "$line" ;;
  esac
done <"$here/installed_files.txt" | sort >"$expected"
(cd "$prefix" && find . \( -type f -o -type l \) | sed 's|^\./||' | sort) >"$work/actual"
if ! diff -u "$expected" "$work/actual"; then fail "the installed files differ from installed_files.txt"; fi
if [ -n "$(find "$work/root" -mindepth 1 -maxdepth 1 ! -name usr)" ]; then fail "files installed outside the prefix"; fi

for png in "$prefix"/share/icons/hicolor/*x*/apps/ar4conv.png; do
  folder=$(basename "$(dirname "$(dirname "$png")")")
  size=$(file -b "$png" | sed -n 's/^PNG image data, \([0-9]*\) x \([0-9]*\),.*/\1x\2/p')
  [ "$size" = "$folder" ] || fail "$png is $size, not $folder"
done

[ -x "$prefix/bin/ar4conv" ] || fail "bin/ar4conv is not executable"
got=$("$prefix/bin/ar4conv" --version)
[ "$got" = "ar4conv $version" ] || fail "--version printed '$got'"
mkdir "$work/out"
folder=$("$prefix/bin/ar4conv" convert "$prefix/share/doc/ar4conv/samples/vr7731.ar4" --out "$work/out")
for file in Pen.txt Chan1.pen Rele1.rel All_Chan.txt; do
  [ -s "$folder/$file" ] || fail "the installed ar4conv wrote no $file into $folder"
done
echo "install_test: $(wc -l <"$expected") files installed; ar4conv $version converted a sample"

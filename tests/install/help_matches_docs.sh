#!/usr/bin/env bash
# The manual page and the bash completion of ar4conv stay in step with its --help: every command that
# 'ar4conv --help' lists has a section "ar4conv COMMAND" in the manual page, the program's own options
# are in its section "Common options", every option that
# 'ar4conv COMMAND --help' prints has an item in that section and is offered by the completion after
# that command, and no section mentions an option that its command does not have.
#   help_matches_docs.sh AR4CONV MANUAL_PAGE COMPLETION
set -euo pipefail
ar4conv=$1 page=$2 completion=$3
status=0
problem() { echo "help_matches_docs: $*" >&2; status=1; }

# The page as plain text: font changes dropped, "\-" as "-".
text=$(sed -e 's/\\f[BIRP]//g' -e 's/\\-/-/g' "$page")
# The options of a --help text: the names in the lines of its "Options:" block, before the description
# (CLI11 puts a long name's description after a single blank).
help_options() {
  awk '/^Options:/ { inside = 1; next } /^[^ ]/ { inside = 0 } inside && /^  -/ { print }' |
    sed -e 's/^  //' -e 's/  .*//' | grep -oE -e '(^|[ ,])--?[A-Za-z][A-Za-z0-9-]*' | tr -d ' ,' | sort -u
}
section() {
  awk -v heading=".SS \"$1\"" '$0 == heading { inside = 1; next } /^\.S[HS] / { inside = 0 } inside' <<<"$text"
}
# The heads of a section's option items: the lines after ".TP".
item_heads() { awk 'head { print; head = 0 } /^\.TP/ { head = 1 }'; }
# The options the completion offers after a command: its line "COMMAND) options='...'".
offered() { sed -n "s/^ *$1) options='\\(.*\\)'.*/\\1/p" "$completion"; }
has_word() { grep -q -e "\(^\|[^A-Za-z0-9-]\)$1\([^A-Za-z0-9-]\|$\)"; }

commands=$("$ar4conv" --help | awk '/^Subcommands:/ { inside = 1; next } /^[^ ]/ { inside = 0 } inside && /^  [a-z]/ { print $1 }')
[ -n "$commands" ] || problem "'ar4conv --help' lists no commands"
for option in $("$ar4conv" --help | help_options); do
  section "Common options" | item_heads | has_word "$option" || problem "$option of ar4conv is not in the section \"Common options\""
done
for command in $commands; do
  body=$(section "ar4conv $command")
  [ -n "$body" ] || { problem "the manual page has no section \"ar4conv $command\""; continue; }
  helped=$("$ar4conv" "$command" --help | help_options)
  for option in $helped; do
    case $option in -h | --help) continue ;; esac
    item_heads <<<"$body" | has_word "$option" || problem "$command $option has no item in its manual section"
    offered "$command" | has_word "$option" || problem "$command $option is not offered by the completion"
  done
  for option in $(grep -o -e '--[a-z][a-z0-9-]*' <<<"$body" | sort -u); do
    grep -qx -e "$option" <<<"$helped" || problem "the manual section of $command describes $option, which '$command --help' lacks"
  done
done
exit $status

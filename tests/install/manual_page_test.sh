#!/usr/bin/env bash
# usage: manual_page_test.sh PROGRAM PAGE
# Checks the manual page PAGE that help2man made from PROGRAM's --help as man shows it: every
# option of --help is an entry of OPTIONS with its whole text (the defaults with it), the page
# tells PROGRAM's version and has the sections data/soundscope.h2m adds, and man has no warning
# about it (lintian asks the same). Names every fault found, then exits 1.
set -euo pipefail
program=$1 page=$2
export LC_ALL=C.UTF-8 MANWIDTH=400
faults=()
fault() { faults+=("$*"); }
squeeze() { tr -s ' \n' ' ' | sed 's/^ //; s/ $//'; }

help=$(env -u DISPLAY -u WAYLAND_DISPLAY "$program" --help)
version=$(env -u DISPLAY -u WAYLAND_DISPLAY "$program" --version)
# Wide, unjustified and unhyphenated, so that each entry's text is one line after its name.
shown=$(man --warnings --no-hyphenation --no-justification -l "$page" 2>"${TMPDIR:-/tmp}/man.$$" |
    col -bx) || fault "man -l $page failed"
if [[ -s "${TMPDIR:-/tmp}/man.$$" ]]; then fault "man warns: $(cat "${TMPDIR:-/tmp}/man.$$")"; fi
rm -f "${TMPDIR:-/tmp}/man.$$"

section() { awk -v name="$1" '/^[A-Z]/ { on = ($0 == name); next } on' <<<"$shown"; }
options=$(section OPTIONS)
[[ -n "$options" ]] || fault "no OPTIONS section"
for name in NAME SYNOPSIS DESCRIPTION KEYS "EXIT STATUS" ENVIRONMENT FILES EXAMPLES "SEE ALSO"; do
    [[ -n "$(section "$name")" ]] || fault "no $name section"
done
[[ "$shown" == *"${version#soundscope }"* ]] || fault "the page does not tell '$version'"

# --help's options: "  -h, --help   Text" with the text's further lines indented under it.
count=0
while IFS=$'\t' read -r names text; do
    count=$((count + 1))
    # An entry's name is indented less than its text.
    entry=$(awk -v names="$names" '
        { indent = match($0, /[^ ]/) - 1 }
        indent >= 0 && indent < 10 { on = (substr($0, indent + 1) == names); next }
        on' <<<"$options" | squeeze)
    if [[ -z "$entry" ]]; then
        fault "option '$names' has no entry in OPTIONS"
    elif [[ "$entry" != "$text" ]]; then
        fault "option '$names': the page says '$entry', --help '$text'"
    fi
done < <(awk '
    /^Options:/ { on = 1; next }
    !on { next }
    /^  [^ ]/ {
        if (names != "") print names "\t" text
        line = substr($0, 3); split(line, parts, /  +/); names = parts[1]
        text = substr(line, length(names) + 1); sub(/^ +/, "", text); next
    }
    /^   +[^ ]/ { sub(/^ +/, ""); text = text " " $0 }
    END { if (names != "") print names "\t" text }' <<<"$help")
((count > 0)) || fault "no options found in --help"

if ((${#faults[@]})); then
    printf 'manual page test: %s\n' "${faults[@]}" >&2
    exit 1
fi
echo "manual page test: $count options of --help in OPTIONS, whole; every section there"

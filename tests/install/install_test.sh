#!/usr/bin/env bash
# usage: install_test.sh CMAKE BUILD_DIR VERSION
# Installs the build tree into a temporary prefix and checks it as a desktop would see it: exactly
# the expected files, the program telling VERSION, a desktop entry that desktop-file-validate
# accepts (hints pass) naming the installed program and icon, a well-formed SVG icon, and an
# AppStream entry that appstreamcli accepts (offline) naming the installed desktop entry. Names
# every fault found, then exits 1.
set -euo pipefail
cmake=$1 build=$2 version=$3
readonly kEntry=share/applications/soundscope.desktop
readonly kIcon=share/icons/hicolor/scalable/apps/soundscope.svg
readonly kMetainfo=share/metainfo/example.c_seed_a86c57b0.soundscope.metainfo.xml
readonly kExpected="bin/soundscope $kEntry $kIcon $kMetainfo share/man/man1/soundscope.1
share/doc/soundscope/README.md share/doc/soundscope/docs/window.png"

prefix=$(mktemp -d "${TMPDIR:-/tmp}/soundscope-install.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
faults=()
fault() { faults+=("$*"); }

"$cmake" --install "$build" --prefix "$prefix" >/dev/null || fault "cmake --install $build failed"
installed=$(cd "$prefix" && find . -type f -printf '%P\n' | sort)
while read -r file; do fault "missing: $file"; done < <(comm -13 <(echo "$installed") \
    <(tr ' ' '\n' <<<"$kExpected" | sort) | grep .)
while read -r file; do fault "not expected: $file"; done < <(comm -23 <(echo "$installed") \
    <(tr ' ' '\n' <<<"$kExpected" | sort) | grep .)

said=$(env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/soundscope" --version 2>&1) || true
[[ "$said" == "soundscope $version" ]] || fault "bin/soundscope --version: '$said'"

for tool in desktop-file-validate xmllint appstreamcli; do
    command -v $tool >/dev/null || fault "$tool not found (tools/install-deps.sh installs it)"
done
if verdict=$(desktop-file-validate "$prefix/$kEntry" 2>&1); grep -qE ': (error|warning): ' \
    <<<"$verdict"; then fault "desktop-file-validate: $verdict"; fi
[[ -x "$prefix/bin/$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$prefix/$kEntry")" ]] ||
    fault "$kEntry: Exec names no program in bin/"
[[ "$(sed -n 's/^Icon=//p' "$prefix/$kEntry").svg" == "$(basename $kIcon)" ]] ||
    fault "$kEntry: Icon does not name $kIcon"
[[ "$(xmllint --xpath 'local-name(/*)' "$prefix/$kIcon" 2>&1)" == svg ]] ||
    fault "$kIcon: not well-formed XML with an <svg> root: $(xmllint --noout "$prefix/$kIcon" 2>&1)"
if ! verdict=$(appstreamcli validate --no-net --no-color "$prefix/$kMetainfo" 2>&1); then
    fault "appstreamcli validate: $verdict"
fi
launched=$(xmllint --xpath 'string(/component/launchable[@type="desktop-id"])' "$prefix/$kMetainfo")
[[ "$launched" == "$(basename $kEntry)" ]] || fault "$kMetainfo: launches '$launched', not $kEntry"

if ((${#faults[@]})); then
    printf 'install test: %s\n' "${faults[@]}" >&2
    exit 1
fi
echo "install test: every file in place; desktop entry, icon and AppStream entry valid"

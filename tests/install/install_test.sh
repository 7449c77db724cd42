#!/usr/bin/env bash
# Installs a build tree into a temporary prefix and checks the result as a desktop would see it:
# exactly the expected files, a runnable program that tells the project's version, a desktop entry
# that desktop-file-validate accepts and whose Exec and Icon name the installed files, and an icon
# that is well-formed SVG. Prints every fault found, then exits 1.
#
# usage: install_test.sh CMAKE BUILD_DIR VERSION
set -euo pipefail

if [[ $# -ne 3 ]]; then
    echo "usage: $0 CMAKE BUILD_DIR VERSION" >&2
    exit 2
fi
cmake=$1
build=$2
version=$3

readonly kProgram=bin/soundscope
readonly kDesktopEntry=share/applications/soundscope.desktop
readonly kIcon=share/icons/hicolor/scalable/apps/soundscope.svg
readonly kExpected=(
    "$kProgram"
    "$kDesktopEntry"
    "$kIcon"
    share/doc/soundscope/README.md
    share/doc/soundscope/docs/window.png
)

work=$(mktemp -d "${TMPDIR:-/tmp}/soundscope-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
faults=()

if ! "$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
    cat "$work/install.log" >&2
    echo "install test: 'cmake --install $build' failed (is soundscope built?)" >&2
    exit 1
fi

# Every expected file, and nothing else.
for file in "${kExpected[@]}"; do
    [[ -s "$prefix/$file" ]] || faults+=("missing or empty: $file")
done
while IFS= read -r file; do
    found=false
    for expected in "${kExpected[@]}"; do [[ "$file" == "$expected" ]] && found=true; done
    $found || faults+=("installed but not expected: $file")
done < <(cd "$prefix" && find . -type f -printf '%P\n' | sort)

# The installed program runs on its own, without a display.
if [[ -x "$prefix/$kProgram" ]]; then
    said=$(env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/$kProgram" --version 2>&1) ||
        faults+=("$kProgram --version failed: $said")
    [[ "$said" == "soundscope $version" ]] ||
        faults+=("$kProgram --version says '$said', not 'soundscope $version'")
else
    faults+=("not executable: $kProgram")
fi

# The desktop entry: valid, and naming the installed program and icon.
entry=$prefix/$kDesktopEntry
if [[ -f "$entry" ]]; then
    if command -v desktop-file-validate >/dev/null; then
        # Hints pass; errors and warnings do not.
        if ! verdict=$(desktop-file-validate "$entry" 2>&1) ||
            grep -qE ': (error|warning): ' <<<"$verdict"; then
            faults+=("desktop-file-validate rejects $kDesktopEntry: $verdict")
        fi
    else
        faults+=("desktop-file-validate not found (desktop-file-utils, tools/install-deps.sh)")
    fi
    exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
    [[ -n "$exec_name" && -x "$prefix/bin/$exec_name" ]] ||
        faults+=("$kDesktopEntry: Exec=$exec_name is not an installed program in bin/")
    icon_name=$(sed -n 's/^Icon=//p' "$entry")
    [[ "$icon_name.svg" == "$(basename "$kIcon")" ]] ||
        faults+=("$kDesktopEntry: Icon=$icon_name does not name the installed $kIcon")
fi

# The icon: well-formed XML whose root is an SVG element.
if [[ -f "$prefix/$kIcon" ]]; then
    if command -v xmllint >/dev/null; then
        if ! verdict=$(xmllint --noout "$prefix/$kIcon" 2>&1); then
            faults+=("$kIcon is not well-formed XML: $verdict")
        elif [[ "$(xmllint --xpath 'local-name(/*)' "$prefix/$kIcon")" != svg ]]; then
            faults+=("$kIcon: the root element is not <svg>")
        fi
    else
        faults+=("xmllint not found (libxml2-utils, tools/install-deps.sh)")
    fi
fi

if [[ ${#faults[@]} -gt 0 ]]; then
    printf 'install test: %s\n' "${faults[@]}" >&2
    exit 1
fi
echo "install test: ${#kExpected[@]} files in place under a temporary prefix; entry and icon valid"

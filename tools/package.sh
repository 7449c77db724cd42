#!/usr/bin/env bash
# usage: tools/package.sh
# Builds the Debian package soundscope_VERSION_ARCH.deb (VERSION from project() in CMakeLists.txt)
# into build/package/ with dpkg-buildpackage and debian/, then checks it with lintian: exits 1 on
# any lintian error or warning. The tests are not built again here (tools/run-tests.sh runs them): the
# package build compiles the program alone (DEB_BUILD_OPTIONS=nocheck). The tree is copied first
# (tracked and new files, as git sees them), so the build leaves the checkout as it was.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

version=$(sed -n 's/^project(soundscope VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[[ -n "$version" ]] || { echo "package: no version in CMakeLists.txt's project()" >&2; exit 1; }
arch=$(dpkg --print-architecture)
out=$root/build/package
source=$out/soundscope-$version
deb=$out/soundscope_${version}_$arch.deb

rm -rf "$out"
mkdir -p "$source"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -z --cached --others --exclude-standard |
        while IFS= read -r -d '' file; do [[ -e "$file" ]] && printf '%s\0' "$file"; done |
        tar --null -T - -cf - | tar -xf - -C "$source"
else
    tar --exclude=./build --exclude=./.git -cf - . | tar -xf - -C "$source"
fi

# ccache, when there is one, keeps a second build of the same tree quick.
if command -v ccache >/dev/null; then
    export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi
started=$SECONDS
(cd "$source" && DEB_BUILD_OPTIONS="nocheck parallel=$(nproc) ${DEB_BUILD_OPTIONS:-}" \
    dpkg-buildpackage --build=binary --build-profiles=nocheck --no-sign >"$out/build.log" 2>&1) || {
    tail -n 40 "$out/build.log" >&2
    echo "package: dpkg-buildpackage failed; the whole log is $out/build.log" >&2
    exit 1
}
[[ -f "$deb" ]] || { echo "package: $deb was not made (debian/changelog's version?)" >&2; exit 1; }
echo "package: built $deb in $((SECONDS - started)) s ($(du -k "$deb" | cut -f1) KiB)"
dpkg-deb --field "$deb" Depends Recommends

# Every tag lintian has is shown, info and pedantic ones too; an error or a warning fails. One
# that has to stay goes into debian/soundscope.lintian-overrides with its reason.
echo "package: lintian $deb"
lintian --info --display-info --pedantic --fail-on error,warning "$deb"
echo "package: lintian found no errors and no warnings"

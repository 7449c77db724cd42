#!/usr/bin/env bash
# usage: package_metadata_test.sh SOURCE_DIR VERSION HOMEPAGE
# What debian/ and the AppStream entry say about the project against CMakeLists.txt's project():
# the newest entries of debian/changelog and of the AppStream releases are VERSION, every home
# page named is HOMEPAGE, the screenshot is the README's picture under it, and the AppStream id
# is its file's name. A new version in project() fails here until both have an entry for it.
set -euo pipefail
source=$1 version=$2 homepage=$3
metainfo=$(echo "$source"/data/*.metainfo.xml)
faults=()
fault() { faults+=("$*"); }
xpath() { xmllint --xpath "string($1)" "$metainfo"; }

changelog=$(sed -n '1s/^soundscope (\([^)]*\)).*/\1/p' "$source/debian/changelog")
[[ "$changelog" == "$version" ]] ||
    fault "debian/changelog's newest entry is '$changelog', the project's version $version"
released=$(xpath '/component/releases/release[1]/@version')
[[ "$released" == "$version" ]] ||
    fault "$(basename "$metainfo"): newest release '$released', the project's version $version"

for named in "debian/control Homepage: $(sed -n 's/^Homepage: //p' "$source/debian/control")" \
    "debian/copyright Source: $(sed -n 's/^Source: //p' "$source/debian/copyright")" \
    "$(basename "$metainfo") homepage: $(xpath '/component/url[@type="homepage"]')"; do
    [[ "${named##*: }" == "$homepage" ]] || fault "$named, project(): $homepage"
done
picture=$(xpath '/component/screenshots/screenshot[@type="default"]/image')
[[ "$picture" == "$homepage/"*/docs/window.png && -f "$source/docs/window.png" ]] ||
    fault "the screenshot '$picture' is not docs/window.png under $homepage"
[[ "$(xpath '/component/id').metainfo.xml" == "$(basename "$metainfo")" ]] ||
    fault "$(basename "$metainfo"): its id is '$(xpath '/component/id')'"

if ((${#faults[@]})); then
    printf 'package metadata test: %s\n' "${faults[@]}" >&2
    exit 1
fi
echo "package metadata test: debian/ and the AppStream entry name version $version and $homepage"

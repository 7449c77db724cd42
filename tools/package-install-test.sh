#!/usr/bin/env bash
# usage: tools/package-install-test.sh [PACKAGE.deb]   (as root)
# Installs the package (default: what tools/package.sh made) where nothing was: a brand-new
# minimal Debian 12 (debootstrap --variant=minbase bookworm, from this machine's apt mirror) in a
# temporary folder. There it runs `apt-get install ./soundscope_*.deb` and nothing else for the
# package (man-db goes in before, to read the manual page), then `soundscope --version`,
# `man soundscope` and a headless `soundscope --sim --passes 5 --screenshot /tmp/x.png`; then
# `apt-get remove soundscope`, after which none of its files may be left, and `dpkg --purge` with
# `apt-get autoremove --purge` for what came with it, after which the file list must be the one
# from before the install. Exits 1 on the first step that fails, naming it.
#
# The base system is made once and kept as /var/tmp/soundscope-bookworm-minbase.tar.gz (delete it
# to make a new one). The temporary system, its mounts (proc, sys, dev) and any process left in
# it are taken away on exit, however the script ends.
set -euo pipefail
cd "$(dirname "$0")/.."
readonly kBase=/var/tmp/soundscope-bookworm-minbase.tar.gz
readonly kSources=/etc/apt/sources.list.d/debian.sources
started=$SECONDS

say() { printf '\n=== %s (%d s)\n' "$*" $((SECONDS - started)); }
die() { echo "package install test: $*" >&2; exit 1; }

[[ $EUID -eq 0 ]] || die "run as root (debootstrap, mount and chroot need it)"
deb=${1:-build/package/soundscope_*_$(dpkg --print-architecture).deb}
# shellcheck disable=SC2086 # the default is a pattern
deb=$(ls $deb 2>/dev/null | head -n 1) || true
[[ -f "$deb" ]] || die "no package: run tools/package.sh first, or name the .deb"
for tool in debootstrap chroot mount umount; do
    command -v $tool >/dev/null || die "$tool not found (tools/install-deps.sh installs it)"
done
mirror=$(awk '/^URIs:/ { print $2; exit }' "$kSources")
[[ -n "$mirror" ]] || die "no URIs in $kSources"

work=$(mktemp -d /var/tmp/soundscope-chroot.XXXXXX)
root=$work/root
mounted=()
# Processes whose root is the temporary system, by their PIDs.
inside() {
    local proc
    for proc in /proc/[0-9]*; do
        [[ "$(readlink "$proc/root" 2>/dev/null)" == "$root" ]] && echo "${proc#/proc/}"
    done
    return 0
}
cleanup() {
    local status=$? pid i
    for pid in $(inside); do kill "$pid" 2>/dev/null || true; done
    sleep 0.2
    for pid in $(inside); do kill -KILL "$pid" 2>/dev/null || true; done
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        umount "${mounted[i]}" 2>/dev/null || umount --lazy "${mounted[i]}" || true
    done
    # Anything still mounted below the work folder (debootstrap's own, after a failure) goes too;
    # the folder is removed only when nothing is mounted in it any more.
    while read -r point; do umount --lazy "$point" || true; done < <(awk -v w="$work/" \
        'index($5, w) == 1 { print $5 }' /proc/self/mountinfo | sort -r)
    if awk -v w="$work/" 'index($5, w) == 1 { found = 1 } END { exit !found }' /proc/self/mountinfo
    then
        echo "package install test: still mounted below $work; left in place" >&2
    else
        rm -rf --one-file-system "$work"
    fi
    exit $status
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [[ ! -f $kBase ]]; then
    say "making the base system: debootstrap --variant=minbase bookworm $mirror"
    debootstrap --variant=minbase bookworm "$work/base" "$mirror" >"$work/debootstrap.log" 2>&1 ||
        { tail -n 20 "$work/debootstrap.log" >&2; die "debootstrap failed"; }
    tar -C "$work/base" -czf "$kBase.part" . && mv "$kBase.part" "$kBase"
    rm -rf --one-file-system "$work/base"
fi
say "a new system from $kBase"
mkdir "$root"
tar -C "$root" -xzf "$kBase"
# The machine's apt sources (main, updates and security, as a fresh installation has them) and its
# name server; no daemon is started by a package's scripts.
rm -f "$root/etc/apt/sources.list"
cp "$kSources" "$root/etc/apt/sources.list.d/"
cp -L /etc/resolv.conf "$root/etc/resolv.conf"
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"
mount -t proc proc "$root/proc" && mounted+=("$root/proc")
for dir in sys dev dev/pts; do
    mount --bind "/$dir" "$root/$dir" && mounted+=("$root/$dir")
done
cp "$deb" "$root/tmp/"
debfile=/tmp/$(basename "$deb")

run() {
    chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
        DEBIAN_FRONTEND=noninteractive TERM=dumb "$@"
}
# As the user "user", who runs and reads the program as anyone would.
run_user() {
    chroot --userspec=user:user "$root" /usr/bin/env -i PATH=/usr/bin:/bin HOME=/home/user \
        LANG=C.UTF-8 TERM=dumb XDG_RUNTIME_DIR=/run/user/1000 "$@"
}
# Every file and folder of the system but the kernel's, the temporary files and what apt and dpkg
# keep of their own work (logs, downloaded lists and packages, the status file's backups).
files() {
    (cd "$root" && find . -xdev \( -path ./proc -o -path ./sys -o -path ./dev -o -path ./run \
        -o -path ./tmp -o -path ./var/tmp -o -path ./var/log -o -path ./var/cache/apt \
        -o -path ./var/lib/apt/lists -o -path ./var/cache/debconf \) -prune -o -print |
        grep -v -E '^\./var/lib/dpkg/(status-old|available-old|lock.*|triggers/Lock)$' | sort)
}

say "apt-get update and upgrade; apt-get install man-db (only to read the manual page)"
run apt-get update -q >"$work/apt.log" 2>&1 || { tail "$work/apt.log" >&2; die "apt-get update"; }
# The security and point-release updates, as an installation that has been online has them.
run apt-get upgrade -y -q >>"$work/apt.log" 2>&1 || { tail "$work/apt.log" >&2; die "apt-get upgrade"; }
run apt-get install -y -q --no-install-recommends man-db >>"$work/apt.log" 2>&1 ||
    { tail "$work/apt.log" >&2; die "apt-get install man-db"; }
run useradd --create-home --uid 1000 --shell /bin/bash user || die "useradd user"
run install -d -o user -g user -m 700 /run/user/1000
files >"$work/before"
size_before=$(du -sk --exclude=proc --exclude=sys --exclude=dev "$root" | cut -f1)

say "apt-get install $debfile"
# For comparison: what Depends alone would bring (a simulation).
echo "with --no-install-recommends: $(run apt-get install -s --no-install-recommends "$debfile" |
    grep -c '^Inst ') packages"
run apt-get install -y -q "$debfile" >"$work/install.log" 2>&1 ||
    { tail -n 30 "$work/install.log" >&2; die "apt-get install $debfile"; }
grep -E '^(The following NEW packages|[0-9]+ upgraded, |Need to get|After this operation)' \
    "$work/install.log" || true
echo "packages installed with it: $(sed -n 's/^Setting up \([^:]*\).*/\1/p' "$work/install.log" |
    wc -l); the system grew by $((($(du -sk --exclude=proc --exclude=sys --exclude=dev "$root" |
    cut -f1) - size_before) / 1024)) MiB"
run dpkg -L soundscope | sort >"$work/owned"

say "soundscope --version"
run_user soundscope --version || die "soundscope --version"
say "man soundscope (the first lines)"
run_user env MANWIDTH=80 man -P cat soundscope >"$work/man.txt" 2>&1 || { cat "$work/man.txt" >&2; die "man soundscope"; }
head -n 12 "$work/man.txt"
grep -q '^KEYS' "$work/man.txt" || die "man soundscope shows no KEYS section"
say "soundscope --sim --passes 5 --screenshot /tmp/x.png"
run_user soundscope --sim --passes 5 --screenshot /tmp/x.png || die "soundscope --sim --passes 5"
magic=$(head -c 8 "$root/tmp/x.png" | od -An -tx1 | tr -d ' \n')
[[ "$magic" == 89504e470d0a1a0a ]] || die "/tmp/x.png is not a PNG picture"
echo "/tmp/x.png: a PNG picture of $(stat -c %s "$root/tmp/x.png") bytes"

say "apt-get remove soundscope"
run apt-get remove -y -q soundscope >"$work/remove.log" 2>&1 ||
    { tail "$work/remove.log" >&2; die "apt-get remove soundscope"; }
grep -E '^(Removing|[0-9]+ upgraded, )' "$work/remove.log" || true
left=()
while read -r path; do
    [[ -e "$root$path" && ! -d "$root$path" ]] && left+=("$path")
done <"$work/owned"
# Its own folders are gone too; the shared ones (/usr/share/man/man1, ...) stay with their owners.
for dir in /usr/share/doc/soundscope; do [[ -e "$root$dir" ]] && left+=("$dir"); done
state=$(run dpkg-query -W -f '${db:Status-Abbrev}' soundscope 2>/dev/null || true)
echo "files of the package left: ${#left[@]} of $(wc -l <"$work/owned"); dpkg's state: '${state:-unknown to dpkg}'"
((${#left[@]} == 0)) || die "left after apt-get remove: ${left[*]}"
[[ -z "$state" || "$state" == "un "* ]] || die "dpkg still knows soundscope as '$state'"

say "dpkg --purge soundscope; apt-get autoremove --purge (what came with it)"
# The package has no configuration files, so remove left nothing to purge; purge says so.
run dpkg --purge soundscope || die "dpkg --purge soundscope"
run apt-get autoremove --purge -y -q >"$work/purge.log" 2>&1 ||
    { tail "$work/purge.log" >&2; die "apt-get autoremove --purge"; }
grep -E '^[0-9]+ upgraded, ' "$work/purge.log" || true
files >"$work/after"
diff "$work/before" "$work/after" | sed -n 's/^[<>] //p' >"$work/diff" || true
if [[ -s "$work/diff" ]]; then
    echo "$(wc -l <"$work/diff") paths differ from the list before the install; the scripts of the" \
        "packages that came with it made them:"
    sed 's/^/  /' "$work/diff"
fi
ours=$(grep -i soundscope "$work/diff" || true)
[[ -z "$ours" ]] || die "left of soundscope after the purge: $ours"
echo "none of them is soundscope's ($(wc -l <"$work/before") paths before, $(wc -l <"$work/after") after)"
say "done: installed, run, read and removed; nothing of soundscope left"

#!/usr/bin/env bash
# Installs every Debian 12 package the oscilloscope needs to build, run, test and package. Run as
# root.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends \
    ca-certificates build-essential cmake ninja-build g++ pkg-config \
    qt6-base-dev qt6-translations-l10n fonts-dejavu-core fonts-dejavu-extra \
    libasound2-dev libasound2-plugins alsa-utils libsndfile1-dev \
    libgtest-dev libgmock-dev libbenchmark-dev \
    pulseaudio pulseaudio-utils locales \
    jackd2 pipewire pipewire-bin pipewire-pulse wireplumber \
    desktop-file-utils libxml2-utils xvfb x11-utils xdotool \
    help2man man-db appstream dpkg-dev debhelper lintian debootstrap
# PipeWire's ALSA plugin (pipewire-alsa) conflicts with the pulseaudio package: it is unpacked,
# not installed, for tools/with-pipewire.sh to point a private ALSA configuration at.
pipewire_alsa=/usr/local/lib/pipewire-alsa
if [[ ! -f "$pipewire_alsa/usr/share/alsa/alsa.conf.d/50-pipewire.conf" ]]; then
    download=$(mktemp -d)
    chown _apt "$download" 2>/dev/null || true # apt's sandbox user fetches into it
    (cd "$download" && apt-get download -q pipewire-alsa)
    rm -rf "$pipewire_alsa"
    mkdir -p "$pipewire_alsa"
    dpkg -x "$download"/pipewire-alsa_*.deb "$pipewire_alsa"
    rm -rf "$download"
fi
# The tests check that a Czech locale (decimal comma) leaves the instrument's texts alone.
localedef -i cs_CZ -f UTF-8 cs_CZ.UTF-8

#!/usr/bin/env bash
# Installs every Debian 12 package the oscilloscope needs to build, run, test and package. Run as
# root.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends \
    ca-certificates cmake ninja-build g++ pkg-config \
    qt6-base-dev qt6-translations-l10n fonts-dejavu-core fonts-dejavu-extra \
    libasound2-dev libasound2-plugins alsa-utils libsndfile1-dev \
    libgtest-dev libgmock-dev libbenchmark-dev \
    pulseaudio pulseaudio-utils locales \
    desktop-file-utils libxml2-utils xvfb x11-utils \
    help2man man-db appstream dpkg-dev debhelper lintian debootstrap
# The tests check that a Czech locale (decimal comma) leaves the instrument's texts alone.
localedef -i cs_CZ -f UTF-8 cs_CZ.UTF-8

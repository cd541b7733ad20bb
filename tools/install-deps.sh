#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs whatever of the build and test packages is missing (Debian 12).
set -euo pipefail
packages=(cmake g++ make pkg-config qt6-base-dev librtmidi-dev libjack-jackd2-dev jackd2
          libgtest-dev xvfb xauth clang libclang-rt-14-dev dpkg-dev desktop-file-utils
          appstream lintian pipewire pipewire-bin pipewire-jack wireplumber dbus)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  # jackd2 asks about real-time priority; the default answer is fine.
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the .deb from the build folder into a scratch folder, checks its file list and
# has lintian check it: any error or warning fails (informational tags are listed).
set -euo pipefail
build=$1
out=$2/deb
rm -rf "$out"
mkdir -p "$out"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 || { cat "$out/cpack.log"; exit 1; }
deb=$(ls "$out"/tarvik_*.deb)
list=$(dpkg-deb -c "$deb" | awk '{print $6}')
status=0
for path in ./usr/bin/tarvik ./usr/bin/tarvik-voice ./usr/bin/virtual-sy22 \
            ./usr/share/applications/org.tarvik.Tarvik.desktop \
            ./usr/share/icons/hicolor/scalable/apps/org.tarvik.Tarvik.svg \
            ./usr/share/metainfo/org.tarvik.Tarvik.metainfo.xml \
            ./usr/share/man/man1/tarvik.1.gz ./usr/share/man/man1/tarvik-voice.1.gz \
            ./usr/share/man/man1/virtual-sy22.1.gz \
            ./usr/share/doc/tarvik/copyright ./usr/share/doc/tarvik/changelog.gz; do
  grep -qx -- "$path" <<<"$list" || { echo "missing from $(basename "$deb"): $path"; status=1; }
done
# The dependencies were worked out from the programs.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libqt6widgets6 librtmidi; do
  grep -q "$lib" <<<"$depends" || { echo "Depends lacks $lib: $depends"; status=1; }
done
[ $status -eq 0 ] && echo "$(basename "$deb"): every file in place; Depends: $depends"

if ! command -v lintian >/dev/null; then
  echo "lintian is not installed (package lintian): run tools/install-deps.sh"
  exit 1
fi
lintian --fail-on error,warning --display-info "$deb" >"$out/lintian.log" 2>&1 || status=1
cat "$out/lintian.log"
[ $status -eq 0 ] && echo "lintian: no errors, no warnings"
exit $status

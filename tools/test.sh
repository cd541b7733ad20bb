#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds everything and runs every test: once as built for
# use, once more the Qt-free core under AddressSanitizer and UndefinedBehaviorSanitizer,
# and the MIDI tests under ThreadSanitizer (the transport sends from a thread of its own).
# The MIDI tests start their own JACK server (dummy driver) through CTest fixtures, and
# run a second time through pw-jack in a private PipeWire session (tests pw.*).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/install-deps.sh"
jobs=$(nproc)

cmake -S "$top" -B "$top/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVIK_WERROR=ON >/dev/null
cmake --build "$top/build" -j"$jobs"
# Every test counts at its first run: a test that depends on the machine's speed waits
# for an event or a condition instead, with a generous bound.
(cd "$top/build" && ctest --output-on-failure -j"$jobs")

cmake -S "$top" -B "$top/build-sanitize" -DCMAKE_BUILD_TYPE=Debug -DTARVIK_CORE_ONLY=ON \
      -DTARVIK_SANITIZE=ON -DTARVIK_WERROR=ON >/dev/null
cmake --build "$top/build-sanitize" -j"$jobs"
(cd "$top/build-sanitize" && ctest --output-on-failure -j"$jobs")

# About a minute: the MIDI transport, its tests and the programs they start.
cmake -S "$top" -B "$top/build-tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVIK_WERROR=ON \
      -DCMAKE_CXX_FLAGS=-fsanitize=thread -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread >/dev/null
cmake --build "$top/build-tsan" -j"$jobs" --target midi_tests midi_unit_tests
(cd "$top/build-tsan" && TSAN_OPTIONS="suppressions=$top/tools/tsan.supp" \
     ctest --output-on-failure -j"$jobs" -R '^midi\.')

# The fuzz targets: a short fixed run each here; tools/fuzz.sh runs them for longer.
CC=clang CXX=clang++ cmake -S "$top" -B "$top/build-fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DTARVIK_FUZZ=ON -DTARVIK_WERROR=ON >/dev/null
cmake --build "$top/build-fuzz" -j"$jobs"
(cd "$top/build-fuzz" && ctest --output-on-failure -j"$jobs")

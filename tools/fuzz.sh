#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the fuzz targets for as long as asked:
#   bash tools/fuzz.sh [SECONDS] [TARGET...]
# SECONDS per target (default 300); TARGETs among codec voicelines settings syx library bank midi bankdump
# explore (default all). Inputs found worth keeping grow build-fuzz/tests/fuzz/corpus/TARGET;
# an input that breaks an invariant is written to build-fuzz/tests/fuzz/artifacts/.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-300}
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(codec voicelines settings syx library bank midi bankdump explore)
"$top/tools/install-deps.sh"
CC=clang CXX=clang++ cmake -S "$top" -B "$top/build-fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DTARVIK_FUZZ=ON >/dev/null
cmake --build "$top/build-fuzz" -j"$(nproc)"
dir="$top/build-fuzz/tests/fuzz"
status=0
for t in "${targets[@]}"; do
  echo "== fuzz_$t for ${seconds}s"
  "$dir/fuzz_$t" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$dir/artifacts/$t-" "$dir/corpus/$t" || status=1
done
exit $status

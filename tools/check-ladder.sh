#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The folders stand on a ladder, lowest first: files, voice, library, settings, midi,
# document, editors, app, tools. A source file includes ("x/...") only from its own
# folder and those below it, never from one above, nor from tests/ or bench/. Each
# include that climbs is named with its file and line; the exit status is 1 when there
# is one.
set -euo pipefail
top=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$top"
ladder="files voice library settings midi document editors app tools"
folders=()
for folder in $ladder; do
  [[ -d $folder ]] && folders+=("$folder")
done
# grep finds nothing in a tree without such includes: that is no failure.
{ grep -rnE --include='*.cpp' --include='*.h' \
       '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"/]+/' "${folders[@]}" || true; } \
  | awk -v ladder="$ladder" '
      BEGIN {
        n = split(ladder, names, " ")
        for (i = 1; i <= n; i++) rung[names[i]] = i
        # Above every rung: what only the tests and the benchmarks may include.
        rung["tests"] = n + 1
        rung["bench"] = n + 1
      }
      {
        # file:line:text
        file = $0; sub(/:.*/, "", file)
        rest = substr($0, length(file) + 2)
        line = rest; sub(/:.*/, "", line)
        from = file; sub(/\/.*/, "", from)
        target = rest; sub(/^[^"]*"/, "", target); sub(/\/.*/, "", target)
        if ((target in rung) && rung[target] > rung[from]) {
          printf "%s:%s: includes \"%s/...\" from a higher rung than %s/\n", file, line, target, from > "/dev/stderr"
          climbs = 1
        }
      }
      END { exit climbs }'

#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every source file of the tree names its licence in its first lines (after a #! line).
set -euo pipefail
top=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$top"
missing=0
while IFS= read -r -d '' f; do
  if ! head -3 "$f" | grep -q 'SPDX-License-Identifier: GPL-3.0-or-later'; then
    echo "no SPDX licence line: $f" >&2
    missing=1
  fi
done < <(find . \( -path './build*' -o -path './.git' \) -prune -o -type f \
              \( -name '*.cpp' -o -name '*.h' -o -name '*.sh' -o -name 'CMakeLists.txt' \) -print0)
exit $missing

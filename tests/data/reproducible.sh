#!/usr/bin/env bash
# The committed data files are exactly what tools/make-data builds from the sources.
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"$root/tools/make-data" "$out"
status=0
for f in rahmen.png PC_Snowballs.ttf xmas.mod; do
    if cmp -s "$root/data/$f" "$out/$f"; then
        echo "same: $f"
    else
        echo "DIFFERS: $f (run tools/make-data and commit the result)"
        status=1
    fi
done
exit $status

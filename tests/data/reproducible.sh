#!/usr/bin/env bash
# The committed data files are exactly what tools/make-data builds from the sources.
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"$root/tools/make-data" "$out"
for f in rahmen.png PC_Snowballs.ttf xmas.mod; do
    cmp "$root/data/$f" "$out/$f" || { echo "run tools/make-data and commit the result"; exit 1; }
done

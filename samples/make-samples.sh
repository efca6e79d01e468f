#!/usr/bin/env bash
# Remakes the bundled sample photographs with the tool's own generator. The turns are the truth
# the tests check the main job against (samples/truth.tsv).
set -euo pipefail
cd "$(dirname "$0")"
tool="${1:-../build/default/cli/imgdesk}"
printf 'file\tturn\n' > truth.tsv
while read -r name angle seed width height; do
  "$tool" sample --angle "$angle" --seed "$seed" --width "$width" --height "$height" -o "$name"
  printf '%s\t%s\n' "$name" "$angle" >> truth.tsv
done <<'LIST'
desk-page-1.jpg 6 11 900 700
desk-page-2.jpg -9 12 900 700
desk-page-3.jpg 17 13 800 800
desk-page-4.jpg -2.5 14 1000 700
LIST

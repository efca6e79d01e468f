#!/usr/bin/env bash
# Sets up everything and runs the main job on the bundled samples: installs the Debian packages,
# builds the optimised library and tool, and turns the photographed pages in samples/ into one
# clean PDF, each page found on the desk, turned upright and cut out.
#   scripts/main-job.sh [--mono]      --mono makes the pages black and white
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target imgdesk_cli

mkdir -p out
build/default/cli/imgdesk scan samples/*.jpg -o out/samples.pdf --force "$@"
echo "The PDF is at $(pwd)/out/samples.pdf"

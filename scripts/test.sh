#!/usr/bin/env bash
# Sets up everything and runs every test suite: installs the Debian packages, configures, builds
# and runs CTest. With preset names (default, asan, ubsan) it runs those builds in turn.
#   scripts/test.sh               the optimised build
#   scripts/test.sh asan ubsan    the same suites under AddressSanitizer, then UBSan
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

presets=("$@")
((${#presets[@]})) || presets=(default)
for preset in "${presets[@]}"; do
  echo "== tests: $preset =="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done

#!/usr/bin/env bash
# Sets up everything and runs the main job on the bundled samples: installs the Debian packages,
# builds the optimised library and tool, and runs the tool.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target imgdesk_cli

tool=build/default/cli/imgdesk
"$tool" --version
"$tool" --help

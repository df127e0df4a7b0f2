#!/usr/bin/env bash
# The main job: builds the release configuration and runs the simulator on built-in defaults.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target hfchain
./build/release/apps/hfchain "$@"

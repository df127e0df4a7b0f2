#!/usr/bin/env bash
# The main job: builds the release configuration and runs the simulator on built-in defaults:
# one transmission reported stage by stage, then the default sweep of coded-bit error rate
# against Es/N0 over all five channel conditions (table on stdout, hfchain-sweep.svg).
# With arguments, they go to the hfchain program itself (for example: scripts/run.sh sweep --help).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh >&2
cmake --preset release >/dev/null
cmake --build --preset release --target hfchain >&2
if [ $# -eq 0 ]; then
  ./build/release/apps/hfchain run --channel awgn --esno 10
  echo
  ./build/release/apps/hfchain
else
  ./build/release/apps/hfchain "$@"
fi

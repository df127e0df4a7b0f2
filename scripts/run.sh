#!/usr/bin/env bash
# The main job: builds the release configuration and runs the simulator on built-in defaults:
# one transmission reported stage by stage (every receiver down to its decoded bits), then the
# default sweep: decoded bit error rate of the HF receiver and the genie bound against SNR in
# 3 kHz over all five channel conditions (`hfchain sweep`: table on stdout, hfchain-sweep.svg).
# With arguments, they go to the hfchain program itself (for example: scripts/run.sh sweep --help).
# The build also makes what the README's quick starts and docs/ use: the Python module
# (build/release/python), the Octave plug-ins (build/release/mex) and the installable library.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh >&2
cmake --preset release >/dev/null
cmake --build --preset release --target hfchain_interfaces >&2
if [ $# -eq 0 ]; then
  ./build/release/apps/hfchain run --interleaver 4.8 --channel ruim --esno 12
  echo
  # The default sweep, with its picture where gnuplot can draw it.
  picture=(--plot hfchain-sweep.svg)
  if ! command -v gnuplot >/dev/null 2>&1; then
    echo "run.sh: gnuplot not found (Debian: gnuplot-nox); the sweep runs without its picture" >&2
    picture=()
  fi
  ./build/release/apps/hfchain sweep "${picture[@]}"
else
  ./build/release/apps/hfchain "$@"
fi

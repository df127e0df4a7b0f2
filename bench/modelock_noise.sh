#!/usr/bin/env bash
# modelock's false detections on noise alone (bench/modelock_noise.cpp): 10 hours of white noise
# and 3 hours of noise through each of two fading channels, each with its detections per hour at
# every level from 0.07 up, the fit of their tail and the count at the default threshold with its
# 95 % interval. About 4 minutes of one core with the release build.
# Usage: bench/modelock_noise.sh [MODELOCK_NOISE]
#   (default: build/release/bench/modelock_noise)
set -euo pipefail
cd "$(dirname "$0")/.."
exe=$(realpath "${1:-build/release/bench/modelock_noise}")
"$exe" 36000 white 1
"$exe" 10800 ruim 2
"$exe" 10800 2p:5ms:5Hz 3

#!/usr/bin/env bash
# Measures the decoded bit error rate on white noise with the 0.6 s interleaver, for vitdecode and
# for a double-precision decoder fed the same log-likelihood ratios, and the Es/N0 loss of
# vitdecode's 16-bit quantised metrics at a decoded error rate of 1e-5.
# Usage: scripts/decoder_loss.sh [min_errors [max_bits [esno_first esno_last esno_step]]]
# (defaults 1000 3e8 7.5 9.5 0.5; takes some minutes on one core).
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset release >/dev/null
cmake --build --preset release --target decoder_loss >/dev/null
if [ $# -eq 0 ]; then
  set -- 1000 3e8 7.5 9.5 0.5
fi
exec build/release/bench/decoder_loss "$@"

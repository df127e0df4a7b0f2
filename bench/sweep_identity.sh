#!/usr/bin/env bash
# Checks that two builds of `hfchain` write byte-identical sweep tables once the timing (the
# `seconds` column and the wall time) is removed: a few points of every condition, both
# interleavers, another M and two blocks per trial, and a point stopped by its error count.
# Usage: bench/sweep_identity.sh OLD_HFCHAIN NEW_HFCHAIN
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "usage: $0 OLD_HFCHAIN NEW_HFCHAIN" >&2
  exit 2
fi
old=$1
new=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

all=awgn,bom,moderado,ruim,muito_ruim
runs=(
  "-i 0.6 -C $all -e 0,6,12,20 --min-trials 40 --max-bits 1"
  "-i 4.8 -C $all -e 0,8,16 --min-trials 12 --max-bits 1"
  "-i 0.6 -M 10 -n 2 -C awgn,ruim,muito_ruim -e 3,9 --min-trials 20 --max-bits 1"
  "-i 0.6 -C awgn,muito_ruim -e 10 --min-trials 1 --min-errors 300 --max-bits 1e5 -s 77"
)

# The table without its timing: the last column of each row (before the note a row may end with,
# "# few events: ...") and the wall time of the header.
strip_timing() {
  awk '/^#/ { sub(/wall time [^ ]+ s/, "wall time - s"); print; next }
       { note = ""; at = index($0, " # "); if (at > 0) { note = substr($0, at); $0 = substr($0, 1, at - 1) }
         NF--; print $0 note }'
}

status=0
for i in "${!runs[@]}"; do
  # shellcheck disable=SC2086
  "$old" sweep ${runs[$i]} -j 2 -q | strip_timing >"$out/old$i"
  # shellcheck disable=SC2086
  "$new" sweep ${runs[$i]} -j 2 -q | strip_timing >"$out/new$i"
  rows=$(grep -vc '^#' "$out/new$i")
  if cmp -s "$out/old$i" "$out/new$i"; then
    echo "identical ($rows points): hfchain sweep ${runs[$i]}"
  else
    echo "DIFFERENT: hfchain sweep ${runs[$i]}"
    diff "$out/old$i" "$out/new$i" || true
    status=1
  fi
done
exit $status

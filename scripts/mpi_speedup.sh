#!/usr/bin/env bash
# Speed-up of a sweep from one MPI rank to two on this machine. The same sweep (8 points of 40
# trials, one worker thread per rank) runs alternately under `mpirun -np 1` and `mpirun -np 2`,
# five times each. Prints every run's wall time (the whole mpirun, start-up included), the
# sweep's own wall time (from its table) and the processor time of all processes, then the ratios
# of the medians. On a machine busy with other work the wall times follow the share of the
# processors the runs get; the processor times show what the ranks cost.
# Usage: scripts/mpi_speedup.sh [BUILD_DIR]   (default build/release; build it first)
set -euo pipefail
cd "$(dirname "$0")/.."
exe=${1:-build/release}/apps/hfchain
sweep=(sweep -q -C awgn,muito_ruim -e 0:4:12 --min-trials 40 --min-errors 1000000000 --max-bits 1
       -j 1)
mpirun=(mpirun --oversubscribe)
if [ "$(id -u)" -eq 0 ]; then mpirun+=(--allow-run-as-root); fi

declare -A wall own cpu
TIMEFORMAT='%R %U %S'
for round in 1 2 3 4 5; do
  for ranks in 1 2; do
    times=$( { time "${mpirun[@]}" -np "$ranks" "$exe" "${sweep[@]}" > table.$$ ; } 2>&1 )
    read -r w u s <<< "$times"
    sweep_s=$(sed -n 's/^# threads .*wall time \([0-9.]*\) s.*/\1/p' table.$$)
    c=$(awk -v u="$u" -v s="$s" 'BEGIN { printf "%.2f", u + s }')
    wall[$ranks]+="$w "; own[$ranks]+="$sweep_s "; cpu[$ranks]+="$c "
    echo "round $round, $ranks rank(s): ${w} s in all, sweep ${sweep_s} s, processor time ${c} s"
  done
done
rm -f table.$$
median() { tr ' ' '\n' | grep -v '^$' | sort -g | sed -n 3p; }
awk -v w1="$(median <<< "${wall[1]}")" -v w2="$(median <<< "${wall[2]}")" \
    -v o1="$(median <<< "${own[1]}")" -v o2="$(median <<< "${own[2]}")" \
    -v c1="$(median <<< "${cpu[1]}")" -v c2="$(median <<< "${cpu[2]}")" 'BEGIN {
  printf "medians, 1 rank -> 2 ranks: wall %.2f -> %.2f s (speed-up %.2f); sweep %.2f -> %.2f s " \
         "(speed-up %.2f); processor time %.2f -> %.2f s (x %.2f)\n",
         w1, w2, w1 / w2, o1, o2, o1 / o2, c1, c2, c2 / c1 }'

#!/usr/bin/env bash
# Speed-up of a sweep from one MPI rank to two on this machine. The same sweep (8 points of 40
# trials, one worker thread per rank) runs alternately under `mpirun -np 1` and `mpirun -np 2`,
# five times each; prints every run's wall time (the whole mpirun, start-up included, and the
# sweep's own from its table) and the ratio of the medians.
# Usage: scripts/mpi_speedup.sh [BUILD_DIR]   (default build/release; build it first)
set -euo pipefail
cd "$(dirname "$0")/.."
exe=${1:-build/release}/apps/hfchain
sweep=(sweep -q -C awgn,muito_ruim -e 0:4:12 --min-trials 40 --min-errors 1000000000 --max-bits 1
       -j 1)
mpirun=(mpirun --oversubscribe)
if [ "$(id -u)" -eq 0 ]; then mpirun+=(--allow-run-as-root); fi

declare -A total sweep_time
for round in 1 2 3 4 5; do
  for ranks in 1 2; do
    start=$(date +%s%N)
    table=$("${mpirun[@]}" -np "$ranks" "$exe" "${sweep[@]}")
    end=$(date +%s%N)
    ms=$(( (end - start) / 1000000 ))
    own=$(sed -n 's/^# threads .*wall time \([0-9.]*\) s.*/\1/p' <<< "$table")
    total[$ranks]+="$ms "
    sweep_time[$ranks]+="$own "
    echo "round $round, $ranks rank(s): $ms ms in all, sweep $own s"
  done
done
median() { tr ' ' '\n' | grep -v '^$' | sort -g | sed -n 3p; }
t1=$(median <<< "${total[1]}"); t2=$(median <<< "${total[2]}")
s1=$(median <<< "${sweep_time[1]}"); s2=$(median <<< "${sweep_time[2]}")
awk -v t1="$t1" -v t2="$t2" -v s1="$s1" -v s2="$s2" 'BEGIN {
  printf "median: 1 rank %d ms, 2 ranks %d ms: speed-up %.2f (sweep alone: %.1f s, %.1f s: %.2f)\n",
         t1, t2, t1 / t2, s1, s2, s1 / s2 }'

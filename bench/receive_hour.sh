#!/usr/bin/env bash
# How much faster than real time `hfchain receive` searches and decodes an hour of 8000 Hz audio
# without being told any mode, on one core: three transmissions of three modes (2400 bit/s 0.6 s,
# 600 bit/s 4.8 s and 75 bit/s 0.6 s, written by `hfchain transmit` from random bits) at 10, 30 and
# 50 minutes, silence elsewhere, through `hfchain channel` on awgn with noise of -20 dBFS in 3 kHz
# (an SNR(3 kHz) of about 10 dB at transmit's level; the hour is noise but for them). Reports the recording's length, the least processor time of REPS
# runs (user + system: the program runs on one thread) and their ratio, and the modes found with
# their blocks decoded.
# Usage: bench/receive_hour.sh [HFCHAIN] [REPS]   (defaults: the release build, 1)
set -euo pipefail
cd "$(dirname "$0")/.."
exe=$(realpath "${1:-build/release/apps/hfchain}")
reps=${2:-1}
command -v sox > /dev/null || { echo "receive_hour.sh needs sox" >&2; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
pin=()
if command -v taskset > /dev/null; then pin=(taskset -c 0); fi

"$exe" transmit --rate 2400 -i 0.6 --nframe 50 --seed 1 -o "$dir/t1.wav" > /dev/null
"$exe" transmit --rate 600 -i 4.8 --nframe 2 --seed 2 -o "$dir/t2.wav" > /dev/null
"$exe" transmit --rate 75 -i 0.6 --nframe 10 --seed 3 -o "$dir/t3.wav" > /dev/null
# Each transmission at the start of its third of the hour, after 10 minutes of silence.
for i in 1 2 3; do
  len=$(soxi -D "$dir/t$i.wav")
  sox "$dir/t$i.wav" "$dir/p$i.wav" pad 600 "$(python3 -c "print(1200 - 600 - $len)")"
done
sox "$dir/p1.wav" "$dir/p2.wav" "$dir/p3.wav" "$dir/tx.wav"
"$exe" channel "$dir/tx.wav" "$dir/r.wav" -c awgn --noise-dbfs -20 --seed 4 2> /dev/null
seconds=$(soxi -D "$dir/r.wav")
best=
for _ in $(seq "$reps"); do
  t=$(python3 - "$dir/report.txt" "${pin[@]}" "$exe" receive "$dir/r.wav" <<'PY'
import resource, subprocess, sys
with open(sys.argv[1], "w") as out:
    subprocess.run(sys.argv[2:], stdout=out)
u = resource.getrusage(resource.RUSAGE_CHILDREN)
print(u.ru_utime + u.ru_stime)
PY
)
  best=$(python3 -c "print(min(float('${best:-inf}'), $t))")
done
grep '^transmission' "$dir/report.txt" | sed 's/frequency offset.*SNR/SNR/'
python3 -c "print(f'recording {$seconds:.0f} s, receive {$best:.2f} s of processor time: ' f'{$seconds / $best:.0f} times faster than real time')"

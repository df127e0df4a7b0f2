#!/usr/bin/env bash
# How much faster than real time `hfchain receive` decodes a recording at 2400 bit/s (0.6 s
# interleaver) on one core: a transmission of BLOCKS blocks (0.6 s each) written by `hfchain
# transmit` at 48000 Hz between 0.5 s of silence, received REPS times; reports the recording's
# length, the least processor time (user + system: the program runs on one thread; on a shared
# machine the elapsed time also counts the others' work) and their ratio, and that every block
# decoded.
# Usage: bench/receive_speed.sh [HFCHAIN] [BLOCKS] [REPS]
#   (defaults: the release build, 100 blocks (a minute), 3)
set -euo pipefail
cd "$(dirname "$0")/.."
exe=$(realpath "${1:-build/release/apps/hfchain}")
blocks=${2:-100}
reps=${3:-3}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
pin=()
if command -v taskset > /dev/null; then pin=(taskset -c 0); fi

"$exe" transmit --rate 2400 -i 0.6 --nframe "$blocks" --seed 7 --sample-rate 48000 \
  -o "$dir/t.wav" > /dev/null
if command -v sox > /dev/null; then
  sox "$dir/t.wav" "$dir/r.wav" pad 0.5 0.5
else
  mv "$dir/t.wav" "$dir/r.wav"
fi
seconds=$(python3 -c "import wave; w = wave.open('$dir/r.wav'); print(w.getnframes() / w.getframerate())")
best=
for _ in $(seq "$reps"); do
  t=$(python3 - "$dir/report.txt" "${pin[@]}" "$exe" receive "$dir/r.wav" --rate 2400 -i 0.6 <<'PY'
import resource, subprocess, sys
with open(sys.argv[1], "w") as out:
    if subprocess.run(sys.argv[2:], stdout=out).returncode != 0:
        sys.exit("receive failed")
u = resource.getrusage(resource.RUSAGE_CHILDREN)
print(u.ru_utime + u.ru_stime)
PY
)
  best=$(python3 -c "print(min(float('${best:-inf}'), $t))")
done
decoded=$(grep -c ': decoded' "$dir/report.txt")
python3 -c "print(f'recording {$seconds:.1f} s, receive {$best:.3f} s of processor time: ' f'{$seconds / $best:.1f} times faster than real time ({$decoded} of $blocks blocks decoded)')"

#!/usr/bin/env bash
# Speed and memory of `hfchain channel` streaming from standard input to standard output: a
# minute and an hour of 48 kHz audio (noise in the voice band, from sox) through a fading channel
# with noise and static crashes. Prints, for each length, the program's CPU time, how many times
# faster than real time that is, and its largest resident memory (/usr/bin/time -v).
#
#   bench/channel_stream.sh [HFCHAIN] [CHANNEL]
#   (default: build/release/apps/hfchain, ruim)
set -euo pipefail
hfchain=${1:-build/release/apps/hfchain}
channel=${2:-ruim}
rate=48000
log=$(mktemp)
trap 'rm -f "$log"' EXIT

printf '%-8s %10s %12s %12s\n' seconds cpu_s x_realtime max_rss_kib
for seconds in 60 3600; do
    sox -q -n -r "$rate" -b 16 -e signed -t raw - synth "$seconds" whitenoise vol 0.1 |
        /usr/bin/time -v "$hfchain" channel - - --raw "$rate" -c "$channel" --noise-dbfs -40 \
            --impulses 1:-20 --clock-ppm 20 --seed 1 2>"$log" >/dev/null
    user=$(awk -F': ' '/User time/ {print $2}' "$log")
    sys=$(awk -F': ' '/System time/ {print $2}' "$log")
    rss=$(awk -F': ' '/Maximum resident/ {print $2}' "$log")
    awk -v s="$seconds" -v u="$user" -v y="$sys" -v r="$rss" \
        'BEGIN { printf "%-8s %10.2f %12.0f %12s\n", s, u + y, s / (u + y), r }'
done

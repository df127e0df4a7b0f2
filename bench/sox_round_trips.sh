#!/usr/bin/env bash
# Round trips through the files themselves, at every data rate and at the sample rates of sound
# cards: what `hfchain transmit` writes (a message of BYTES bytes), `sox --i` reads (its rate and
# channels as written), `hfchain receive` decodes back to the message, as written, after sox
# resampled it to a 44.1 kHz FLAC file, and after sox brought that back to the first rate.
# Prints one line a rate and sample rate (ok, or what failed) and a count; exit status 1 when
# any failed.
#
#   bench/sox_round_trips.sh [HFCHAIN] [BYTES]
#   (defaults: build/release/apps/hfchain, 40)
set -euo pipefail
exe=$(realpath "${1:-build/release/apps/hfchain}")
bytes=${2:-40}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
command -v sox > /dev/null || { echo "sox is not installed" >&2; exit 2; }
head -c "$bytes" /dev/urandom > "$dir/m.bin"

# Whether `receive` decodes FILE at RATE to the message, then zero bytes only.
decodes() {
  "$exe" receive "$1" --rate "$2" -o "$dir/out.bin" > /dev/null 2>&1 || return 1
  cmp -s -n "$bytes" "$dir/m.bin" "$dir/out.bin" || return 1
  [ -z "$(tail -c +"$((bytes + 1))" "$dir/out.bin" | tr -d '\0')" ]
}

printf '%-6s %-7s %-10s %-8s %-12s %-10s\n' rate fs 'sox --i' written 'flac 44.1k' back
failed=0 total=0
for rate in 75 150 300 600 1200 2400 4800; do
  for fs in 8000 9600 11025 16000 22050 44100 48000; do
    total=$((total + 1))
    "$exe" transmit --rate "$rate" --message "$dir/m.bin" --sample-rate "$fs" \
      -o "$dir/t.wav" > /dev/null
    info="$(sox --i -r "$dir/t.wav")/$(sox --i -c "$dir/t.wav")"
    soxi=$([ "$info" = "$fs/1" ] && echo ok || echo "read $info")
    sox "$dir/t.wav" "$dir/t.flac" rate -v 44100
    sox "$dir/t.flac" -b 16 "$dir/back.wav" rate -v "$fs"
    written=$(decodes "$dir/t.wav" "$rate" && echo ok || echo FAILED)
    flac=$(decodes "$dir/t.flac" "$rate" && echo ok || echo FAILED)
    back=$(decodes "$dir/back.wav" "$rate" && echo ok || echo FAILED)
    printf '%-6s %-7s %-10s %-8s %-12s %-10s\n' "$rate" "$fs" "$soxi" "$written" "$flac" "$back"
    if [ "$soxi$written$flac$back" != okokokok ]; then failed=$((failed + 1)); fi
  done
done
echo "$((total - failed)) of $total round trips ok"
[ "$failed" -eq 0 ]

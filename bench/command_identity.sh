#!/usr/bin/env bash
# Checks that two builds of `hfchain` give byte-identical results for the same commands once the
# timing is removed: the help of each command, the message and status of refused command lines,
# `run` reports at 75, 2400 and 4800 bit/s, a small sweep's table, CSV and JSON (one rate and
# several), a checkpoint journal's header and the table of a resumed sweep, and a part of the
# minimum-performance table (table, CSV, JSON). bench/sweep_identity.sh covers the sweep's tables.
# Usage: bench/command_identity.sh OLD_HFCHAIN NEW_HFCHAIN
set -uo pipefail
if [ $# -ne 2 ]; then
  echo "usage: $0 OLD_HFCHAIN NEW_HFCHAIN" >&2
  exit 2
fi
old=$1
new=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# Timing removed: wall times, the seconds of points and trials, and the table's last column.
strip() {
  local rows='s/$//'
  [ "$1" = csv ] && rows='2,$ s/,[0-9.]+,([a-z_]+)$/,-,\1/'
  [ "$1" = table ] && rows='/^#/! s/ +[0-9.]+( +# interrupted)?$/ -/'
  sed -E 's/wall time [0-9.]+ s/wall time - s/; s/"(wall_)?seconds": [0-9.e+-]+/"\1seconds": -/g' |
    sed -E "$rows"
}

status=0
# compare NAME KIND ARGS...: runs both builds in their own folder, compares stdout, stderr, status
# and every file written (KIND: table, csv or text, how timing is stripped from stdout).
compare() {
  local name=$1 kind=$2
  shift 2
  for side in old new; do
    local bin=$old
    [ "$side" = new ] && bin=$new
    mkdir -p "$out/$side/$name"
    (cd "$out/$side/$name" && "$bin" "$@" >stdout 2>stderr; echo "status $?" >status)
    for f in "$out/$side/$name"/*; do
      echo "== ${f##*/}"
      case $f in
        *.csv) strip csv <"$f" ;;
        */stdout) strip "$kind" <"$f" ;;
        */journal) sed -n '1,/^end /p' "$f" ;;
        *) strip text <"$f" ;;
      esac
    done >"$out/$side/$name.all"
  done
  if diff "$out/old/$name.all" "$out/new/$name.all" >"$out/$name.diff"; then
    echo "identical: $name ($*)"
  else
    echo "DIFFERENT: $name ($*)"
    head -40 "$out/$name.diff"
    status=1
  fi
}

compare help text --help
compare version text --version
for cmd in run sweep requirements; do compare "help-$cmd" text "$cmd" --help; done
compare bad-option text sweep --bogus 1
compare bad-metric text sweep --metric x
compare bad-stop-on text requirements --stop-on x
compare bad-nframe-sweep text sweep -n 0
compare bad-nframe-req text requirements -n 0
compare bad-min-trials text sweep --min-trials 0.5
compare bad-seed text requirements -s -1
compare bad-threads text sweep -j -1
compare bad-points text sweep -e 1 --snr3k 2
compare bad-empty text sweep --checkpoint ''
compare bad-rows text requirements --rows 2,2
compare bad-rate text run --rate 100
compare bad-receiver text run -r hf,nobody
compare bad-same-file text sweep --csv a --json ./a
for rate in 75 2400 4800; do compare "run-$rate" text run --rate "$rate" -i 0.6; done
compare run-awgn text run --rate 600 -c awgn -e 8 -r hf
compare run-none text run -c none -r baseline
compare run-paths text run --rate 1200 -c 2p:2ms:1Hz:off=30Hz -e 15 -r hf,genie
compare sweep-files table sweep -C awgn,bom -e 0,8 --min-trials 4 --max-bits 1 -j 2 -q \
  --csv s.csv --json s.json --targets 1e-2 --crossings x.md
compare sweep-rates table sweep --rate 75,2400 -i 0.6 -C awgn -e 0,6 --min-trials 2 --max-bits 1 \
  -r baseline,hf --metric coded --stop-on all --floor 1e-9 -j 2 -q --csv s.csv --json s.json
compare sweep-journal table sweep -C awgn -e 0,4 --min-trials 3 --max-bits 1 -j 2 -q \
  --checkpoint journal
compare requirements text requirements --rows 2,3 --min-trials 2 --max-bits 2e4 -j 2 -q \
  --csv q.csv --json q.json
exit $status

#!/usr/bin/env bash
# The long loops, beside scripts/test.sh (see docs/testing.md): builds the debug configuration
# and runs the tests labelled `long`: 10,000 drawn malformed calls per Octave plug-in (one test
# per plug-in, octave.robustness_long.*), where scripts/test.sh makes each plug-in's chosen calls
# and 100 drawn ones. Prints the wall and processor time (user + system, all cores).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh

TIMEFORMAT='   %R s wall, %U s user + %S s system'

echo "== debug build"
time {
  cmake --preset debug >/dev/null
  cmake --build --preset debug
}
echo "== long tests"
time ctest --preset long -j2

#!/usr/bin/env bash
# Runs every test from nothing: installs what is missing, checks formatting, then builds and tests
# two configurations (see docs/testing.md):
#   debug  -Og, warnings as errors, without MPI; every test (the Octave robustness tests with
#          their chosen calls and 100 drawn ones a plug-in), the benchmarks and examples built,
#          the examples run, the README's quick starts;
#   asan   AddressSanitizer + UndefinedBehaviorSanitizer at -O0, warnings as errors, with MPI;
#          every C++, Octave and Python test, the robustness tests with their chosen calls only.
# The long loops (10,000 drawn calls a plug-in) are scripts/test-long.sh.
# Each phase prints its wall and processor time (user + system, all cores).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh

TIMEFORMAT='   %R s wall, %U s user + %S s system'

echo "== formatting"
time (git ls-files -z '*.cpp' '*.hpp' | xargs -0 clang-format --dry-run --Werror)

for preset in debug asan; do
  echo "== $preset build"
  time {
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
  }
  echo "== $preset tests"
  time ctest --preset "$preset" -j2
done

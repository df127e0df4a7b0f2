#!/usr/bin/env bash
# Runs every test from nothing: installs what is missing, checks formatting, builds and tests the
# debug build (warnings as errors) and the AddressSanitizer + UndefinedBehaviorSanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh

echo "== formatting"
git ls-files -z '*.cpp' '*.hpp' | xargs -0 clang-format --dry-run --Werror

for preset in debug asan; do
  echo "== $preset build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "== $preset tests"
  ctest --preset "$preset" -j2
done

#!/usr/bin/env bash
# quickstart.sh SOURCE_DIR BUILD_DIR: runs the README's quick starts word for word against a build.
# Each "### " heading of the README's "## Quick start" section has one ```sh block; it runs with
# bash -e in a scratch project folder whose build/release is BUILD_DIR and whose examples/ and
# tests/ are the sources', with HOME in the scratch folder (the C++ quick start installs there).
# An interface whose part of the build is absent is skipped with a message.
set -euo pipefail
source_dir=$(cd "$1" && pwd)
build_dir=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/build" "$work/home"
ln -s "$build_dir" "$work/build/release"
ln -s "$source_dir/examples" "$work/examples"
ln -s "$source_dir/tests" "$work/tests"

# Prints the sh block under the quick-start heading $1.
block() {
  awk -v want="### $1" '
    /^## / { inside = ($0 == "## Quick start") }
    inside && /^### / { here = ($0 == want); taken = 0; next }
    inside && here && !taken && /^```sh$/ { code = 1; next }
    code && /^```$/ { code = 0; taken = 1; next }
    code { print }
  ' "$source_dir/README.md"
}

# Why the interface $1 cannot run on this build, or nothing.
missing() {
  case $1 in
    "The program" | "On the air") [ -x "$build_dir/apps/hfchain" ] || echo "no apps/hfchain in the build" ;;
    Python) compgen -G "$build_dir/python/hfchain/_hfchain*.so" >/dev/null ||
              echo "no Python module in the build" ;;
    Octave) command -v octave >/dev/null || echo "no octave on the PATH"
            [ -e "$build_dir/mex/sendchain.mex" ] || echo "no Octave plug-ins in the build" ;;
    C++) [ -e "$build_dir/cmake_install.cmake" ] || echo "no install rules in the build" ;;
  esac
}

failed=0
for interface in "The program" "On the air" Python Octave C++; do
  code=$(block "$interface")
  if [ -z "$code" ]; then
    echo "FAILED: the README has no sh block under \"### $interface\" in \"## Quick start\""
    failed=1
    continue
  fi
  why=$(missing "$interface")
  if [ -n "$why" ]; then
    echo "skipped $interface: $why"
    continue
  fi
  echo "== $interface"
  if (cd "$work" && HOME="$work/home" bash -euo pipefail -c "$code"); then
    echo "passed $interface"
  else
    echo "FAILED: $interface"
    failed=1
  fi
done
exit $failed

#!/usr/bin/env bash
# Installs the Debian packages hfchain needs when they are missing (as root, with apt-get).
# Usage: scripts/deps.sh [extra-package ...]
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config libgtest-dev libbenchmark-dev clang-format
          octave liboctave-dev libmatio-dev libcli11-dev gnuplot-nox libopenmpi-dev openmpi-bin
          python3-dev pybind11-dev python3-numpy python3-pytest python3-matplotlib
          python3-pandas python3-venv
          libsndfile1-dev libsoxr-dev sox "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "error: these packages are missing and installing them needs root: ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

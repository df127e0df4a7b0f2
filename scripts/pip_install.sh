#!/usr/bin/env bash
# Installs the Python package with pip into a fresh virtual environment without asking any
# package index (--no-index: pip's isolated build needs nothing it would download), then reads a
# small sweep into pandas from the installed package. The environment sees Debian's NumPy and
# pandas (--system-site-packages). The wheel's build folder, build/wheel-<interpreter>, is kept
# for the next run.
# Usage: scripts/pip_install.sh [python]   (default /usr/bin/python3)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
python=${1:-/usr/bin/python3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$python" -m venv --system-site-packages "$work/env"
"$work/env/bin/pip" install --no-index --no-cache-dir "$root"
cd "$work"
"$work/env/bin/python" - <<'PY'
import os
import sys

import hfchain
import pandas

assert hfchain.__file__.startswith(sys.prefix), hfchain.__file__  # the installed package
frame = pandas.DataFrame(hfchain.run_sweep({"conditions": "awgn", "esno": [4, 8],
                                            "receivers": "baseline", "metric": "coded",
                                            "minTrials": 1, "maxBits": 1}).columns)
assert len(frame) == 2 and frame["trials"].dtype == "int64", frame.dtypes
print(f"hfchain {hfchain.__version__} installed in {os.path.dirname(hfchain.__file__)}")
print(frame[["condition", "esno_db", "trials", "baseline_coded_ber"]].to_string(index=False))
PY

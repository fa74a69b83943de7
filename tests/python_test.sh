#!/usr/bin/env bash
# The Python package as a user installs it: a virtual environment over
# Debian's python3 (for its NumPy), `python3 -m pip install ./python` in it,
# then its pytest suite against this build's command.
# Usage: tests/python_test.sh MSPFORGE_BINARY VENV_DIR
# Exits 77 (skipped) when Debian's Python, NumPy, pytest or pybind11 are
# missing.
set -euo pipefail
binary=$1
venv=$2
here=$(cd "$(dirname "$0")/.." && pwd)
python=/usr/bin/python3
if ! [ -x "$python" ] || ! "$python" -c 'import numpy, pytest, venv' 2>/dev/null ||
   ! [ -f /usr/include/pybind11/pybind11.h ]; then
  echo "Python test skipped: needs Debian's python3-dev, python3-numpy,"
  echo "python3-pytest, python3-venv and pybind11-dev"
  exit 77
fi
rm -rf "$venv"
"$python" -m venv --system-site-packages "$venv"
(cd "$here" && "$venv/bin/python3" -m pip install --quiet ./python)
cd "$venv"
MSPFORGE_BINARY=$binary "$venv/bin/python3" -m pytest -q -p no:cacheprovider \
  "$here/python/tests"

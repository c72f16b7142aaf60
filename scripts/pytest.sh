#!/usr/bin/env bash
# Runs the Python package's tests (python/tests) against a built package.
#   scripts/pytest.sh PYTHON PACKAGE_PARENT_DIR [pytest arguments...]
# PYTHON is the interpreter to use (Debian's /usr/bin/python3 has Debian's
# numpy, pandas and dask); PACKAGE_PARENT_DIR holds the rulescore package,
# e.g. build/python. Fails when pytest collects no test.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
PY="$1"
PKG="$(cd "$2" && pwd)"
shift 2
echo "python: $PY ($("$PY" -c 'import sys; print(sys.version.split()[0])'))"
export PYTHONPATH="$PKG${PYTHONPATH:+:$PYTHONPATH}"
export MPLBACKEND=Agg
cd "$ROOT"
"$PY" -m pytest -q -p no:cacheprovider "$ROOT/python/tests" "$@"
status=$?
if [ "$status" -eq 5 ]; then
  echo "pytest collected no tests" >&2
  exit 1
fi
exit "$status"

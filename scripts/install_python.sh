#!/usr/bin/env bash
# Builds the rulescore Python package and installs it for the current user,
# offline, into the site-packages of Debian's /usr/bin/python3 (or of
# PYTHON), or into DEST when given:
#   scripts/install_python.sh [DEST]
# The package directory gets the compiled module and the host library it
# loads (found beside it), so nothing else needs to be on a library path.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
PY="${PYTHON:-/usr/bin/python3}"
BUILD_DIR="${BUILD_DIR:-$ROOT/build-python}"
DEST="${1:-$("$PY" -m site --user-site)}"
echo "python: $PY ($("$PY" -c 'import sys; print(sys.version.split()[0])'))"
cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DRULESCORE_BUILD_TESTS=OFF \
  -DRULESCORE_BUILD_BENCH=OFF -DRULESCORE_BUILD_PYTHON=ON -DPython_EXECUTABLE="$PY" \
  -DRULESCORE_PYTHON_INSTALL_DIR="$DEST" >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)" --target rulescore_python
cmake --install "$BUILD_DIR" --component python
echo "installed: $DEST/rulescore"
(cd / && "$PY" -c 'import rulescore; print("import rulescore: ok,", rulescore.__file__)')

#!/usr/bin/env bash
# Builds rulescore and runs every test: in a normal build (build/, with the
# Python package, whose pytest suite runs under Debian's /usr/bin/python3
# as one of the ctest tests), in an AddressSanitizer +
# UndefinedBehaviorSanitizer build (build-asan/, without the Python
# package: the interpreter would need the sanitizer runtime preloaded), then the
# checks of scripts/extra_checks.sh: a clang build with float-cast-overflow
# running the suite again, ThreadSanitizer on the tool's threads, and each
# fuzz target for FUZZ_SECONDS (default 60).
#   --fast   the normal build only
set -euo pipefail
cd "$(dirname "$0")/.."

fast=0
for arg in "$@"; do
  case "$arg" in
    --fast) fast=1 ;;
    *) echo "usage: $0 [--fast]" >&2; exit 2 ;;
  esac
done

bash scripts/deps.sh
jobs="$(nproc)"

run_suite() {
  local dir="$1"; shift
  cmake -S . -B "$dir" -DRULESCORE_BUILD_TESTS=ON "$@"
  cmake --build "$dir" -j"$jobs"
  (cd "$dir" && ctest --output-on-failure -j"$jobs" --timeout 300)
}

echo "== normal build (Python package tests with $(/usr/bin/python3 -c 'import sys; print(sys.executable, sys.version.split()[0])'))"
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRULESCORE_BUILD_BENCH=ON -DRULESCORE_SANITIZE= \
  -DRULESCORE_BUILD_PYTHON=ON -DPython_EXECUTABLE=/usr/bin/python3
if [ "$fast" -eq 0 ]; then
  echo "== AddressSanitizer + UndefinedBehaviorSanitizer build (skips the Python package)"
  run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DRULESCORE_BUILD_BENCH=OFF \
    -DRULESCORE_SANITIZE="address;undefined" -DRULESCORE_BUILD_PYTHON=OFF
  echo "== clang UndefinedBehaviorSanitizer, ThreadSanitizer, fuzzing"
  bash scripts/extra_checks.sh
fi
echo "== all tests passed"

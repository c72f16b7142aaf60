#!/usr/bin/env bash
# Builds rulescore and runs every test twice: in a normal build (build/) and
# in an AddressSanitizer + UndefinedBehaviorSanitizer build (build-asan/).
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

echo "== normal build"
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRULESCORE_BUILD_BENCH=ON -DRULESCORE_SANITIZE=
if [ "$fast" -eq 0 ]; then
  echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
  run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DRULESCORE_BUILD_BENCH=OFF \
    -DRULESCORE_SANITIZE="address;undefined"
fi
echo "== all tests passed"

#!/usr/bin/env bash
# Builds rulescore and runs every test: in a normal build (build/), in an
# AddressSanitizer + UndefinedBehaviorSanitizer build (build-asan/), then the
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

echo "== normal build"
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRULESCORE_BUILD_BENCH=ON -DRULESCORE_SANITIZE=
if [ "$fast" -eq 0 ]; then
  echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
  run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DRULESCORE_BUILD_BENCH=OFF \
    -DRULESCORE_SANITIZE="address;undefined"
  echo "== clang UndefinedBehaviorSanitizer, ThreadSanitizer, fuzzing"
  bash scripts/extra_checks.sh
fi
echo "== all tests passed"

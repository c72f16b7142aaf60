#!/usr/bin/env bash
# The slower checks on top of scripts/test.sh:
#  1. a clang build with UndefinedBehaviorSanitizer, float-cast-overflow
#     included (GCC's undefined group lacks it), running the whole suite;
#  2. ThreadSanitizer on the tool's multi-threaded scoring (scripts/tsan.sh);
#  3. each libFuzzer target for FUZZ_SECONDS (default 60, scripts/fuzz.sh).
# Prints the time each step took.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
fuzzSeconds=${FUZZ_SECONDS:-60}
ubsan=${RULESCORE_UBSAN_BUILD_DIR:-$root/build-clang-ubsan}
start=$SECONDS

step() { echo "== $1 took $((SECONDS - $2)) s"; }

t=$SECONDS
cmake -S "$root" -B "$ubsan" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
  -DRULESCORE_SANITIZE="undefined;float-cast-overflow" -DRULESCORE_BUILD_BENCH=OFF >/dev/null
cmake --build "$ubsan" -j2
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --test-dir "$ubsan" -j2 --output-on-failure
step "clang UBSan build and tests" $t

t=$SECONDS
"$root/scripts/tsan.sh"
step "ThreadSanitizer" $t

t=$SECONDS
"$root/scripts/fuzz.sh" "$fuzzSeconds"
step "fuzzing" $t

echo "== extra checks took $((SECONDS - start)) s in all"

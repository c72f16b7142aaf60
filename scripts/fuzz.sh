#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, the plug-in's code linked in) in build-fuzz and
# runs each one for SECONDS (default 60), one after the other.
#
#   scripts/fuzz.sh 60
#
# The working corpora live in build-fuzz/corpus/<target>, seeded from
# fuzz/corpus and tests/data; findings are written to build-fuzz/artifacts.
# Exit status: 0 when no target found anything, 1 otherwise.
set -euo pipefail

seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${RULESCORE_FUZZ_BUILD_DIR:-$root/build-fuzz}

cmake -S "$root" -B "$build" \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link" \
  -DRULESCORE_BUILD_FUZZ=ON -DRULESCORE_SANITIZE="address;undefined" \
  -DRULESCORE_BUILD_TESTS=OFF -DRULESCORE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target fuzz_pmml fuzz_csv

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

mkdir -p "$build/artifacts"
status=0
for target in fuzz_pmml fuzz_csv; do
  kind=${target#fuzz_}
  corpus=$build/corpus/$target
  mkdir -p "$corpus"
  cp -n "$root/fuzz/corpus/$kind"/* "$corpus"/ 2>/dev/null || true
  cp -n "$root/tests/data"/*."$kind" "$corpus"/ 2>/dev/null || true
  options=(-max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -max_len=65536
           -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-")
  if [ "$kind" = pmml ]; then options+=(-dict="$root/fuzz/pmml.dict"); fi
  echo "== $target for ${seconds}s"
  if ! "$build/$target" "${options[@]}" "$corpus" 2>"$build/$target.log"; then
    status=1
    echo "!! $target found a fault; see $build/$target.log and $build/artifacts" >&2
  fi
  grep -E '^stat::(number_of_executed_units|peak_rss_mb)|^(==|SUMMARY|artifact)' \
    "$build/$target.log" || true
done
exit $status

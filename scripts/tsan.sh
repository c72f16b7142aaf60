#!/usr/bin/env bash
# ThreadSanitizer check of the tool's multi-threaded scoring: builds
# build-tsan with -fsanitize=thread, runs the tool's tests and the columnar
# scoring's (a pool on two threads, concurrent callers), then scores one
# data file with --threads 1 and --threads 2 and requires the same bytes.
# Any race report fails the run (halt_on_error).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${RULESCORE_TSAN_BUILD_DIR:-$root/build-tsan}

cmake -S "$root" -B "$build" -DRULESCORE_SANITIZE=thread -DRULESCORE_BUILD_BENCH=OFF >/dev/null
tests=()
for source in "$root"/tests/cli_*_test.cc "$root"/tests/batch_scoring_test.cc; do
  [ -e "$source" ] && tests+=("$(basename "$source" .cc)")
done
cmake --build "$build" -j2 --target rulescore rulescore_plugin "${tests[@]}"

export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
for t in "${tests[@]}"; do
  echo "== $t"
  "$build/$t" --gtest_brief=1
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
model=$root/fuzz/corpus/pmml/compound.pmml
{
  echo "x,y,colour,grade"
  awk 'BEGIN { split("red green blue ? purple", c, " "); split("low mid high", g, " ");
               for (i = 0; i < 20000; i++)
                 printf "%s,%s,%s,%s\n", (i % 7 == 0 ? "" : (i % 23) - 11.5), i % 5,
                        c[i % 5 + 1], (i % 11 == 0 ? "" : g[i % 3 + 1]) }'
} >"$work/data.csv"
echo "== rulescore score --threads 1 and 2"
"$build/rulescore" score "$model" "$work/data.csv" --threads 1 --quiet -o "$work/one.csv"
"$build/rulescore" score "$model" "$work/data.csv" --threads 2 --quiet -o "$work/two.csv"
cmp "$work/one.csv" "$work/two.csv"
echo "tsan: clean, $(wc -l <"$work/one.csv") output lines identical"

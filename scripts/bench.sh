#!/usr/bin/env bash
# Builds Release and measures: the scoring and translation benchmarks
# (rulescore_bench, with their baselines in the same run), then the tool end
# to end on a 1,000,000-row CSV for the depth-6 tree model: `rulescore score`
# with 1 and 2 threads against a parse-only pass (the tool's CSV reader
# turning the file into host records, no scoring).
#
#   scripts/bench.sh [extra rulescore_bench arguments...]
#
# Environment: BUILD_DIR (default build-release), WORK_DIR for the generated
# model and data (default a temporary directory, removed afterwards), ROWS
# (default 1000000), JOBS (default 2), REPS (repetitions of each benchmark,
# default 3).
set -euo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build-release}"
ROWS="${ROWS:-1000000}"
JOBS="${JOBS:-2}"

cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DRULESCORE_BUILD_TESTS=OFF \
  -DRULESCORE_BUILD_BENCH=ON >/dev/null
cmake --build "$BUILD_DIR" -j"$JOBS" --target rulescore rulescore_plugin rulescore_bench >/dev/null

BENCH="$BUILD_DIR/rulescore_bench"
TOOL="$BUILD_DIR/rulescore"

if [[ -n "${WORK_DIR:-}" ]]; then
  mkdir -p "$WORK_DIR"
else
  WORK_DIR="$(mktemp -d)"
  trap 'rm -rf "$WORK_DIR"' EXIT
fi

echo "== machine"
echo "$(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
echo

echo "== rulescore_bench"
# Each benchmark runs REPS times (default 3); the ratios below take every
# benchmark's fastest run, baselines and ours alike, so that a slower
# stretch of a shared machine does not decide them.
"$BENCH" --benchmark_out="$WORK_DIR/bench.json" --benchmark_out_format=json \
  --benchmark_repetitions="${REPS:-3}" --benchmark_report_aggregates_only=false "$@"
echo

if command -v python3 >/dev/null; then
  echo "== ratios (CPU time, fastest of the repetitions, this run)"
  python3 - "$WORK_DIR/bench.json" <<'EOF'
import json, sys
try:
    runs = {}
    for b in json.load(open(sys.argv[1]))["benchmarks"]:
        if b.get("run_type", "iteration") != "iteration":
            continue  # the aggregates
        name = b.get("run_name", b["name"])
        if name not in runs or b["cpu_time"] < runs[name]["cpu_time"]:
            runs[name] = b
except (ValueError, KeyError, OSError):
    runs = {}  # a filter that matched nothing leaves no results
def t(name):
    b = runs.get(name)
    return b["cpu_time"] if b else None
checks = [
    ("GetScore_Tree6 / TreeWalk_Tree6", "GetScore_Tree6", "TreeWalk_Tree6", 6),
    ("GetScore_Tree10 / TreeWalk_Tree10", "GetScore_Tree10", "TreeWalk_Tree10", 6),
    ("GetScore_Tree10_WeightedSum / TreeWalk_Tree10", "GetScore_Tree10_WeightedSum", "TreeWalk_Tree10", 10),
    ("GetScore_Tree10_WeightedMax / TreeWalk_Tree10", "GetScore_Tree10_WeightedMax", "TreeWalk_Tree10", 10),
    ("GetScore_Tree6 / Reference_Tree6", "GetScore_Tree6", "Reference_Tree6", 1),
    ("Plan_Tree6 / TreeWalk_Tree6", "Plan_Tree6", "TreeWalk_Tree6", None),
    ("Plan_Tree10 / TreeWalk_Tree10", "Plan_Tree10", "TreeWalk_Tree10", None),
]
for label, a, b, target in checks:
    if t(a) is None or t(b) is None:
        continue
    ratio = t(a) / t(b)
    verdict = "" if target is None else ("  ok (target <= %g)" % target if ratio <= target
                                           else "  MISSED (target <= %g)" % target)
    print("%-48s %8.2f%s" % (label, ratio, verdict))
for k in ("1k", "10k", "100k"):
    b = runs.get("Translate_%sRules" % k)
    if b:
        print("%-48s %8.0f rules/s beyond a Xerces parse of %.1f ms" %
              ("Translate_%sRules" % k, b.get("items_per_second", 0), b.get("xerces_parse_ms", 0)))
EOF
  echo
fi

echo "== end to end, $ROWS rows (depth-6 model)"
"$BENCH" --write-tree6 "$WORK_DIR/tree6.pmml" "$WORK_DIR/tree6.csv" "$ROWS"
BYTES=$(stat -c %s "$WORK_DIR/tree6.csv")

# Wall-clock seconds of the fastest of three runs.
seconds_of() {
  local start end s best=""
  for _ in 1 2 3; do
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    s=$(echo "$end - $start" | bc -l)
    if [[ -z "$best" ]] || (( $(echo "$s < $best" | bc -l) )); then best=$s; fi
  done
  echo "$best"
}

# All three timed the same way, from process start to exit, best of three; the scored
# output goes to standard output, thrown away.
PARSE_S=$(seconds_of "$BENCH" --parse-only "$WORK_DIR/tree6.csv")
ONE_S=$(seconds_of "$TOOL" score "$WORK_DIR/tree6.pmml" "$WORK_DIR/tree6.csv" --quiet --threads 1)
TWO_S=$(seconds_of "$TOOL" score "$WORK_DIR/tree6.pmml" "$WORK_DIR/tree6.csv" --quiet --threads 2)

printf "%-28s %10s %12s %10s\n" "pass" "seconds" "rows/s" "MB/s"
for entry in "parse only:$PARSE_S" "score, 1 thread:$ONE_S" "score, 2 threads:$TWO_S"; do
  name="${entry%%:*}"
  s="${entry#*:}"
  printf "%-28s %10.3f %12.0f %10.1f\n" "$name" "$s" "$(echo "$ROWS / $s" | bc -l)" \
    "$(echo "$BYTES / 1000000 / $s" | bc -l)"
done
printf "1 thread / parse only: %.2f (target <= 2); 2 threads speed-up: %.2f (target >= 1.6)\n" \
  "$(echo "$ONE_S / $PARSE_S" | bc -l)" "$(echo "$ONE_S / $TWO_S" | bc -l)"

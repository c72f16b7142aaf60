#!/usr/bin/env bash
# Prints the size of the test suite against the size of the code it tests, in
# non-blank, non-comment lines: tests/ and python/tests against host/,
# translator/, model/, scoring/, plugin/, cli/ and the Python package (fuzz,
# bench, examples and scripts are counted on neither side).
set -euo pipefail
cd "$(dirname "$0")/.."

# Counts the lines of the files read from stdin (one path a line) that are
# neither blank nor comments (//, /* ... */ and * continuation lines in C++,
# # lines in Python).
count() {
  local total=0 n f
  while IFS= read -r f; do
    case "$f" in
      *.py|*.pyi) n=$(grep -cvE '^\s*(#.*)?$' "$f" || true) ;;
      *) n=$(awk '
          /^[[:space:]]*$/ { next }
          incomment { if ($0 ~ /\*\//) incomment = 0; next }
          /^[[:space:]]*\/\// { next }
          /^[[:space:]]*\/\*/ { if ($0 !~ /\*\//) incomment = 1; next }
          { c++ } END { print c + 0 }' "$f") ;;
    esac
    total=$((total + n))
  done
  echo "$total"
}

sources='.*\.(cc|h|py|pyi)$'
tests=$( { find tests python/tests -type f 2>/dev/null; } | grep -E "$sources" | sort | count)
code=$( { find host translator model scoring plugin cli python -type f 2>/dev/null; } \
  | grep -E "$sources" | grep -v '^python/tests/' | grep -v __pycache__ | sort | count)
echo "tests: $tests lines"
echo "code:  $code lines"
awk -v t="$tests" -v c="$code" 'BEGIN { printf "ratio: %.1f%%\n", c ? 100 * t / c : 0 }'

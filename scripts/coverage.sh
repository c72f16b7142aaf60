#!/usr/bin/env bash
# Line and branch coverage of the C++ suite: a Debug build with --coverage in
# build-cov/, the whole ctest suite, then gcovr over the library, plug-in and
# tool sources (tests, fuzz and bench are not measured).
# Two branch figures are printed: every branch gcov sees, and the branches of
# the source's own decisions, without the unwinding edges the compiler adds to
# each call that may throw (--exclude-throw-branches) and edges gcov reports as
# never reachable (--exclude-unreachable-branches).
#   BUILD_DIR   build directory (default build-cov)
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${BUILD_DIR:-build-cov}"

# gcovr comes from Debian's package of that name.
if ! command -v gcovr >/dev/null; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get install -y --no-install-recommends gcovr >/dev/null
fi

cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DRULESCORE_BUILD_TESTS=ON -DRULESCORE_BUILD_BENCH=OFF \
  -DRULESCORE_BUILD_PYTHON=OFF -DRULESCORE_SANITIZE= \
  -DCMAKE_CXX_FLAGS="--coverage" -DCMAKE_EXE_LINKER_FLAGS="--coverage" -DCMAKE_SHARED_LINKER_FLAGS="--coverage"
find "$dir" -name '*.gcda' -delete
cmake --build "$dir" -j"$(nproc)"
(cd "$dir" && ctest -j"$(nproc)" --timeout 600 >/dev/null) || { echo "ctest failed" >&2; exit 1; }

filters=(-f 'host/' -f 'translator/' -f 'model/' -f 'scoring/' -f 'plugin/' -f 'cli/')
# g++ 12 writes gcov lines that gcovr 5 cannot parse ("taken -N"); they are skipped.
# The per-file reports go into the build directory: gcovr replaces the file
# it is given, so `-o /dev/null` run as root would leave a regular file where
# the device was.
echo "== all branches"
gcovr --gcov-ignore-parse-errors -r . --object-directory "$dir" "${filters[@]}" --print-summary \
  -o "$dir/coverage-all.txt" 2>/dev/null
echo "== decision branches (no throw or unreachable edges)"
gcovr --gcov-ignore-parse-errors -r . --object-directory "$dir" "${filters[@]}" \
  --exclude-throw-branches --exclude-unreachable-branches --print-summary -o "$dir/coverage-decisions.txt" 2>/dev/null

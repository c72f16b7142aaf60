#!/usr/bin/env bash
# Installs the build dependencies, builds rulescore in Release and scores the
# bundled credit-risk example, printing the scored rows.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DRULESCORE_BUILD_TESTS=OFF -DRULESCORE_BUILD_BENCH=OFF
cmake --build build -j"$(nproc)" --target rulescore rulescore_plugin

echo
echo "== build/rulescore check examples/credit_risk.pmml"
build/rulescore check examples/credit_risk.pmml
echo
echo "== build/rulescore score examples/credit_risk.pmml examples/credit_risk.csv"
build/rulescore score examples/credit_risk.pmml examples/credit_risk.csv

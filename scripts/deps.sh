#!/usr/bin/env bash
# Installs what rulescore needs to build and test, from Debian's packages.
# Does nothing when every package is already there.
set -euo pipefail

# clang, its sanitizer and libFuzzer runtimes and llvm-symbolizer serve the
# fuzzing and the clang sanitizer build of scripts/test.sh; the python3
# packages build and test the Python package (matplotlib draws in one
# example, which runs without it too; pip, setuptools and venv install it
# with `pip install ./python`).
packages=(cmake g++ make pkg-config libxerces-c-dev libgtest-dev libgmock-dev
          libbenchmark-dev libcli11-dev binutils clang libclang-rt-dev llvm
          python3-dev pybind11-dev python3-numpy python3-pandas python3-pytest
          python3-dask python3-distributed python3-matplotlib python3-pip
          python3-setuptools python3-venv)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ "${#missing[@]}" -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update
"${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"

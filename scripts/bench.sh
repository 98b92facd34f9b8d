#!/usr/bin/env bash
# Prints the benchmarks' figures: the received-id list (CPU time, memory) and
# the duration of one check against Dovecot under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
source scripts/wine-env.sh

cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/bench --target idlist_bench
build/bench/tests/bench/idlist_bench

preset=$ZEPHO_WINE_ARCH
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
zepho_start_test_session
ZEPHO_EXE=$PWD/build/$preset/ZEPHO.exe python3 tests/bench/check_duration.py

#!/usr/bin/env bash
# Prints the benchmarks' figures: the received-id list (ready time, one search,
# memory) and the cost of the examined messages in a walk, natively and in the
# Windows build under Wine, then the duration of a check against Dovecot, ZEPHO
# beside a minimal blocking client (the floor) and beside the program of an
# earlier commit.
# LOG=1 scripts/bench.sh runs every check case with the log on, LOG=both both ways;
# by default the cases run with LOG=0 and one case is repeated with LOG=1.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
source scripts/wine-env.sh

echo "== received-id list, native (Linux, this machine)"
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/bench --target idlist_bench examined_bench >/dev/null
build/bench/tests/bench/idlist_bench
echo
echo "== the examined messages kept for the results window, in a walk, native"
build/bench/tests/bench/examined_bench

preset=$ZEPHO_WINE_ARCH
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target ZEPHO idlist_bench examined_bench pop3_floor host_tools >/dev/null
# The settings files' stored passwords come from the program's own code.
export ZEPHO_STORED_PASSWORD=$PWD/build/$preset/host-tools/tools/stored_password
zepho_start_test_session
echo
echo "== received-id list, $preset build under Wine"
(cd "build/$preset/tests/bench" && "$ZEPHO_WINE" idlist_bench.exe)
echo
echo "== the examined messages kept for the results window, in a walk, $preset build under Wine"
(cd "build/$preset/tests/bench" && "$ZEPHO_WINE" examined_bench.exe)
# The program of an earlier commit, for the case that measures what a check keeps
# for the results window: ZEPHO_BENCH_BASELINE=<commit>, by default where this
# branch left main (none when that is this very commit).
baseline=${ZEPHO_BENCH_BASELINE:-$(git merge-base HEAD main 2>/dev/null || true)}
baseline_exe=
if [ -n "$baseline" ] && [ "$(git rev-parse "$baseline")" != "$(git rev-parse HEAD)" ]; then
  baseline=$(git rev-parse "$baseline")
  src=$PWD/build/bench-baseline/$baseline
  if [ ! -f "$src/build/$preset/ZEPHO.exe" ]; then
    rm -rf "$src" && mkdir -p "$src"
    git archive "$baseline" | tar -x -C "$src"
    (cd "$src" && cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" --target ZEPHO >/dev/null)
  fi
  baseline_exe=$src/build/$preset/ZEPHO.exe
fi
echo
echo "== one check against Dovecot, $preset build under Wine"
mkdir -p "build/$preset/e2e-tmp"
ZEPHO_EXE=$PWD/build/$preset/ZEPHO.exe ZEPHO_FLOOR=$PWD/build/$preset/tests/bench/pop3_floor.exe \
  ZEPHO_E2E_TMP=$PWD/build/$preset/e2e-tmp ZEPHO_WINE=$ZEPHO_WINE ZEPHO_BENCH_LOG=${LOG:-0} \
  ZEPHO_BASELINE_EXE=$baseline_exe ZEPHO_BASELINE=$baseline \
  python3 tests/bench/check_bench.py
echo
echo "== a check in plain text, with STLS and with TLS from the first byte, $preset build under Wine"
ZEPHO_EXE=$PWD/build/$preset/ZEPHO.exe ZEPHO_E2E_TMP=$PWD/build/$preset/e2e-tmp \
  python3 tests/bench/tls_bench.py

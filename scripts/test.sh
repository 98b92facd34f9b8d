#!/usr/bin/env bash
# Runs every test suite: the core natively with AddressSanitizer/UBSan, short
# fuzz runs, and the Windows build (unit tests, the adapters and the whole
# program) under Wine on a private virtual display. Installs what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/install-deps.sh
source scripts/wine-env.sh

started=$(date +%s)
step() { printf '\n=== %s (%ds)\n' "$*" $(( $(date +%s) - started )); }

step "core: build and unit tests with AddressSanitizer and UBSan"
cmake --preset host-asan >/dev/null
cmake --build --preset host-asan
ctest --preset host-asan -j2

step "fuzz targets: short runs"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
ctest --preset fuzz -j2

step "ZEPHO.exe for 32-bit Windows"
cmake --preset win32 >/dev/null
cmake --build --preset win32
file build/win32/ZEPHO.exe | grep -q 'PE32 executable (GUI) Intel 80386' \
  || { echo "ZEPHO.exe is not a 32-bit GUI program"; exit 1; }
if i686-w64-mingw32-objdump -p build/win32/ZEPHO.exe | grep 'DLL Name' | grep -viqE \
     'kernel32|user32|gdi32|shell32|ws2_32|comctl32|advapi32|msvcrt|ole32|comdlg32|secur32|crypt32'; then
  echo "ZEPHO.exe needs DLLs that are not Windows' own:"
  i686-w64-mingw32-objdump -p build/win32/ZEPHO.exe | grep 'DLL Name'
  exit 1
fi

preset=$ZEPHO_WINE_ARCH
if [ "$preset" = win64 ]; then
  step "this machine cannot run 32-bit code: the Windows tests run the x86_64 build of the same sources"
  cmake --preset win64 >/dev/null
  cmake --build --preset win64
fi

step "Windows tests under Wine ($preset)"
zepho_start_test_session
ctest --preset "$preset" -j2

step "all suites passed"

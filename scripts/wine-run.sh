#!/usr/bin/env bash
# Runs a Windows program of the build under the checkout's private Wine prefix.
# Used by ctest as the cross-compiling emulator.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
zepho_prepare_prefix
zepho_start_server
exec "$ZEPHO_WINE" "$@"

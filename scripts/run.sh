#!/usr/bin/env bash
# Builds ZEPHO.exe and runs it under Wine, on this display if there is one,
# else on a virtual one. Where no mailbox is configured yet it sets up a demo
# mailbox (a private Dovecot on 127.0.0.1 with three messages) and points the
# program at it. Ends when the program ends, or with Ctrl-C.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
source scripts/wine-env.sh

cmake --preset win32 >/dev/null
cmake --build --preset win32
exe=build/win32/ZEPHO.exe
if [ "$ZEPHO_WINE_ARCH" = win64 ]; then
  echo "run: this machine cannot run 32-bit code; running the x86_64 build of the same sources"
  cmake --preset win64 >/dev/null
  cmake --build --preset win64
  exe=build/win64/ZEPHO.exe
fi

run=build/run
mkdir -p "$run"
cp "$exe" "$run/ZEPHO.exe"

demo=
cleanup() {
  [ -n "$demo" ] && bash scripts/dovecot.sh stop "$demo" || true
  zepho_stop
}
trap cleanup EXIT

if ! grep -qiE '^PopAddress="?[^"[:space:]]' "$run/ZEPHO.ini" 2>/dev/null; then
  demo=$(mktemp -d /tmp/zepho-demo.XXXXXX)
  started=$(bash scripts/dovecot.sh demo "$demo" 0)
  port=$(sed -n 's/^PORT //p' <<<"$started")
  sed '/^PORT /d' <<<"$started"
  # The password "demo" as the program stores it, by the program's own code
  # (the win32 build above makes the tool for this machine).
  stored=$(build/win32/host-tools/tools/stored_password demo)
  printf '[NETWORK]\r\nPopAddress="127.0.0.1"\r\nPopAcount="demo"\r\nPopPort=%s\r\nApop=0\r\nPasswd=%s\r\n[OTHER]\r\nPopTime=1\r\nIconChange=1\r\nAllIconChange=1\r\nRecvSleep=0\r\nLOG=1\r\n' \
    "$port" "$stored" > "$run/ZEPHO.ini"
  echo "run: demo mailbox demo/demo on 127.0.0.1:$port; the dialogue is logged to $run/ZEPHO.LOG"
fi

zepho_prepare_prefix
zepho_start_xvfb
if [ -n "${ZEPHO_XVFB_PID:-}" ]; then
  echo "run: no display here; running on the virtual display $DISPLAY"
  echo "run: look at it with: DISPLAY=$DISPLAY import -window root zepho.png"
fi
zepho_start_server
echo "run: ZEPHO is in the tray of Wine's desktop: a right click opens its menu (ZEPHO終了 ends it), a left click brings the mail client up; Ctrl-C here ends it too"
"$ZEPHO_WINE" "$run/ZEPHO.exe"

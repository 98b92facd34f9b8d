#!/usr/bin/env bash
# Installs what building and testing need on a Debian 12 machine. Idempotent; as root
# (or through sudo when it is at hand). Does nothing when everything is already there.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev googletest python3
  mingw-w64 g++-mingw-w64-i686-posix binutils-mingw-w64-i686 g++-mingw-w64-x86-64-posix
  wine wine32:i386 wine64 fonts-wine
  xvfb xdotool imagemagick x11-utils
  fonts-ipafont-gothic fonts-ipafont-mincho locales
  dovecot-core dovecot-pop3d
  nlohmann-json3-dev
)

missing=()
for p in "${packages[@]}"; do
  name=${p%%:*}; arch=${p#*:}; [ "$arch" = "$p" ] && arch=
  q=$name${arch:+:$arch}
  status=$(dpkg-query -W -f='${Status}' "$q" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-deps: needs root for: ${missing[*]}" >&2; exit 1; }
  SUDO=sudo
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
# Debian starts a system-wide dovecot on install; tests run their own private one.
if command -v systemctl >/dev/null && systemctl is-active --quiet dovecot 2>/dev/null; then
  $SUDO systemctl stop dovecot || true
  $SUDO systemctl disable dovecot >/dev/null 2>&1 || true
fi

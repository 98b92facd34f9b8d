# Sourced by the scripts: a private Wine prefix and locale for this checkout,
# kept in build/wine. Nothing outside the checkout is touched.
ZEPHO_ROOT=${ZEPHO_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export ZEPHO_WINE_DIR=${ZEPHO_WINE_DIR:-$ZEPHO_ROOT/build/wine}

# Most users of the program run a Japanese Windows (ANSI code page 932), and so
# do the tests by default; ZEPHO_LANG=en_US.UTF-8 stands for a Western Windows
# (code page 1252). Each Wine process takes its ANSI code page from its LANG,
# and a prefix rewrites its font registry whenever that code page changes, so
# every locale has a prefix of its own.
export ZEPHO_LANG=${ZEPHO_LANG:-ja_JP.UTF-8}
if [ "$ZEPHO_LANG" = ja_JP.UTF-8 ]; then ZEPHO_PREFIX_SUFFIX=; else ZEPHO_PREFIX_SUFFIX=-${ZEPHO_LANG%%.*}; fi

# ZEPHO.exe is a 32-bit program. Some virtual machines cannot execute 32-bit
# Linux code at all, and then 32-bit Wine cannot start: there the tests run the
# x86_64 build of the same sources under 64-bit Wine instead.
if [ -z "${ZEPHO_WINE_ARCH:-}" ]; then
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then ZEPHO_WINE_ARCH=win32; else ZEPHO_WINE_ARCH=win64; fi
fi
export ZEPHO_WINE_ARCH
if [ "$ZEPHO_WINE_ARCH" = win32 ]; then ZEPHO_WINE=/usr/lib/wine/wine; else ZEPHO_WINE=/usr/lib/wine/wine64; fi
export ZEPHO_WINE
export WINEPREFIX=${WINEPREFIX:-$ZEPHO_WINE_DIR/prefix-$ZEPHO_WINE_ARCH$ZEPHO_PREFIX_SUFFIX}
export WINEARCH=$ZEPHO_WINE_ARCH
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
if [ -x /usr/lib/wine/wineserver64 ]; then WINESERVER=/usr/lib/wine/wineserver64; else WINESERVER=/usr/lib/wine/wineserver32; fi
export WINESERVER
export LOCPATH=$ZEPHO_WINE_DIR/locale
export LANG=$ZEPHO_LANG
unset LC_ALL LC_CTYPE

zepho_prepare_locale() {
  [ -d "$LOCPATH/$ZEPHO_LANG" ] && return 0
  mkdir -p "$LOCPATH"
  LC_ALL=C LANG=C localedef -i "${ZEPHO_LANG%%.*}" -f UTF-8 "$LOCPATH/$ZEPHO_LANG" 2>/dev/null || true
  [ -d "$LOCPATH/$ZEPHO_LANG" ]
}

# Creates the prefix once (about 15 s); later calls return at once.
zepho_prepare_prefix() {
  zepho_prepare_locale || { echo "wine-env: cannot build the $ZEPHO_LANG locale" >&2; return 1; }
  [ -f "$WINEPREFIX/.zepho-ready" ] && return 0
  mkdir -p "$ZEPHO_WINE_DIR"
  (
    exec 9>"$ZEPHO_WINE_DIR/.prefix.lock"
    flock 9
    [ -f "$WINEPREFIX/.zepho-ready" ] && exit 0
    rm -rf "$WINEPREFIX"
    "$ZEPHO_WINE" wineboot -i </dev/null >/dev/null 2>&1 9>&-
    # Japanese fonts under the names Windows programs ask for, and Wine's own
    # fonts (without them the caption buttons draw as letters). Every program
    # shares one virtual desktop, which draws captions, a taskbar and the tray.
    # A Japanese Windows draws its UI fonts with Japanese faces; a Western one
    # keeps its own and reaches Japanese through font links, as set here.
    local reg=$ZEPHO_WINE_DIR/fonts$ZEPHO_PREFIX_SUFFIX.reg ui_fonts
    if [ -z "$ZEPHO_PREFIX_SUFFIX" ]; then
      ui_fonts=('"MS Shell Dlg"="IPAPGothic"' '"MS Shell Dlg 2"="IPAPGothic"' '"Tahoma"="IPAPGothic"')
    else
      ui_fonts=()
    fi
    printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
      '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
      '"ＭＳ Ｐゴシック"="IPAPGothic"' '"ＭＳ ゴシック"="IPAGothic"' \
      '"MS UI Gothic"="IPAPGothic"' "${ui_fonts[@]}" '' \
      '[HKEY_CURRENT_USER\Software\Wine\Explorer]' '"Desktop"="shell"' '' \
      '[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]' '"shell"="1024x768"' '' \
      | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } > "$reg"
    "$ZEPHO_WINE" reg import "Z:${reg//\//\\}" </dev/null >/dev/null 2>&1 9>&-
    if [ -n "$ZEPHO_PREFIX_SUFFIX" ]; then
      local face
      # Wine looks the links up by the face's full name, so bold needs its own entry.
      for face in Tahoma "Tahoma Bold" "Microsoft Sans Serif" "Lucida Sans Unicode"; do
        "$ZEPHO_WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
          /v "$face" /t REG_MULTI_SZ /d 'ipagp.ttf,IPAPGothic' /f </dev/null >/dev/null 2>&1 9>&-
      done
    fi
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    ln -sf /usr/share/fonts/opentype/ipafont-gothic/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    ln -sf /usr/share/fonts/truetype/fonts-japanese-gothic.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    "$WINESERVER" -w
    touch "$WINEPREFIX/.zepho-ready"
  )
}

# Starts a private Xvfb unless DISPLAY is already usable; sets ZEPHO_XVFB_PID.
# The one display helper of every script. A session needs its display across
# several commands (Wine's desktop, ctest, the program) and until zepho_stop has
# ended the wineservers, which a wrapper around one command (xvfb-run) does not
# give. The server takes a free display number itself and writes it once it
# accepts connections (-displayfd): runs starting together cannot pick the same.
zepho_start_xvfb() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
  local file number= i
  file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$file" </dev/null >/dev/null 2>&1 &
  ZEPHO_XVFB_PID=$!
  for i in $(seq 1 100); do
    read -r number < "$file" || true
    [[ $number =~ ^[0-9]+$ ]] && break
    kill -0 "$ZEPHO_XVFB_PID" 2>/dev/null || break
    sleep 0.05
  done
  rm -f "$file"
  if [[ $number =~ ^[0-9]+$ ]]; then
    export DISPLAY=":$number"
    return 0
  fi
  kill "$ZEPHO_XVFB_PID" 2>/dev/null || true
  ZEPHO_XVFB_PID=
  echo "wine-env: no Xvfb display could be started" >&2
  return 1
}

# Is a wineserver of this prefix running?
zepho_server_running() {
  local p
  for p in $(pgrep -f "^/usr/lib/wine/wineserver(32|64)" 2>/dev/null); do
    tr '\0' '\n' < "/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && return 0
  done
  return 1
}

# Starts a persistent wineserver and Wine's services once, under a lock, with our
# output pipes closed: otherwise the services inherit ctest's pipe and keep it
# waiting for its time-out.
zepho_start_server() {
  (
    exec 9>"$ZEPHO_WINE_DIR/.server.lock"
    flock 9
    if ! zepho_server_running; then
      "$WINESERVER" -p 9>&- </dev/null >/dev/null 2>&1
      "$ZEPHO_WINE" wineboot 9>&- </dev/null >/dev/null 2>&1 || true
    fi
  )
}

# Keeps the shared virtual desktop up for the whole test run. Left alone, it
# closes when the last program ends, and a program starting just then can hang.
zepho_start_desktop() {
  "$ZEPHO_WINE" explorer /desktop=shell,1024x768 </dev/null >/dev/null 2>&1 &
  local i
  for i in $(seq 1 100); do
    xdotool search --name 'shell - Wine desktop' >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "wine-env: the virtual desktop did not come up" >&2
  return 1
}

# A fresh Wine session for tests on a private display, with the shared virtual
# desktop: no program of this prefix left from an earlier run, an empty tray.
# The caller ends it with zepho_stop (set as the EXIT trap here).
zepho_start_test_session() {
  zepho_prepare_prefix
  "$WINESERVER" -k 2>/dev/null || true
  unset DISPLAY
  zepho_start_xvfb
  trap zepho_stop EXIT
  zepho_start_server
  zepho_start_desktop
}

# Ends what this checkout started: the wineservers of its prefixes (one per
# locale) and its Xvfb.
zepho_stop() {
  local prefix
  for prefix in "$ZEPHO_WINE_DIR"/prefix-*; do
    [ -d "$prefix" ] && WINEPREFIX=$prefix "$WINESERVER" -k >/dev/null 2>&1 || true
  done
  if [ -n "${ZEPHO_XVFB_PID:-}" ]; then
    kill "$ZEPHO_XVFB_PID" 2>/dev/null || true
    wait "$ZEPHO_XVFB_PID" 2>/dev/null || true
    ZEPHO_XVFB_PID=
  fi
}

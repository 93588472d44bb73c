#!/usr/bin/env bash
# Runs a Windows program under Wine in the build tree's own prefix, with no
# display: the null graphics driver still gives windows and window messages.
# Usage: wine-run.sh PROGRAM.exe [ARGS...]   (WINE_BUILD_DIR names the build tree)
# Exits 125 with a message naming the cause when Wine cannot be started.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${WINE_BUILD_DIR:-$here/../build/win32}
own_prefix=$(realpath -m "$build")/wineprefix
export WINEPREFIX=${WINEPREFIX:-$own_prefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml='
# Every program here is 32-bit, and install-deps.sh installs the 32-bit loader
# only: a 64-bit prefix would need the 64-bit one.
export WINEARCH=win32

fail() { echo "wine-run.sh: $*" >&2; exit 125; }
command -v wine >/dev/null && command -v wineboot >/dev/null \
  || fail "Wine is not installed; cmake/install-deps.sh installs it (wine, wine32:i386)"

# Several tests may start at once: only one creates the prefix.
ready=$WINEPREFIX/.stowaway-ready-3
if [[ ! -f "$ready" ]]; then
  mkdir -p "$(dirname "$WINEPREFIX")" 2>/dev/null && exec 9>"$WINEPREFIX.lock" \
    || fail "Wine's prefix cannot be made at $WINEPREFIX: its folder cannot be written"
  (
    flock 9
    if [[ ! -f "$ready" ]]; then
      # The build tree's prefix left without the mark is half made, or of
      # another kind (64-bit): neither can be used.
      [[ "$WINEPREFIX" != "$own_prefix" ]] || rm -rf "$WINEPREFIX"
      log=$WINEPREFIX.log
      wineboot -i >"$log" 2>&1 \
        || fail "Wine could not create its prefix at $WINEPREFIX: $(tail -n 3 "$log" | tr '\n' ' ')(full output in $log)"
      wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >>"$log" 2>&1 \
        || fail "Wine could not set the null graphics driver in $WINEPREFIX (see $log)"
      # A crashing program must end, not wait for a debugger that nobody
      # will ever attend to.
      wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
        /v Debugger /f >>"$log" 2>&1 || true
      # The registry reaches its files when the server ends.
      wineserver -w
      [[ -f "$WINEPREFIX/system.reg" ]] \
        || fail "Wine could not create its prefix at $WINEPREFIX: no registry was written (see $log)"
      touch "$ready"
    fi
  )
  exec 9>&-
fi
exec wine "$@"

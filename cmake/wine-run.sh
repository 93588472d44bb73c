#!/usr/bin/env bash
# Runs a Windows program under Wine in the build tree's own prefix, with no
# display: the null graphics driver still gives windows and window messages.
# Usage: wine-run.sh PROGRAM.exe [ARGS...]   (WINE_BUILD_DIR names the build tree)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${WINE_BUILD_DIR:-$here/../build/win32}
export WINEPREFIX=${WINEPREFIX:-$(cd "$build" && pwd)/wineprefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml='
export WINEARCH=${WINEARCH:-win64}

# Several tests may start at once: only one creates the prefix.
ready=$WINEPREFIX/.stowaway-ready-2
if [[ ! -f "$ready" ]]; then
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    if [[ ! -f "$ready" ]]; then
      wineboot -i >/dev/null 2>&1
      wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
      # A crashing program must end, not wait for a debugger that nobody
      # will ever attend to.
      wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
        /v Debugger /f >/dev/null 2>&1 || true
      wineserver -w
      touch "$ready"
    fi
  ) 9>"$WINEPREFIX.lock"
fi
exec wine "$@"

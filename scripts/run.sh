#!/usr/bin/env bash
# Builds Zintara.exe and starts it under Wine on the current display. Arguments are passed
# to the program (the screen saver takes /s, /c, /p: `scripts/run.sh --scr /s`).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset win32-i686 >/dev/null
cmake --build --preset win32-i686

program=build/win32-i686/Zintara.exe
if [ "${1:-}" = "--scr" ]; then
  program=build/win32-i686/Zintara.scr
  shift
fi

export WINEPREFIX="${WINEPREFIX:-$HOME/.local/share/zintara-wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ -z "${DISPLAY:-}" ]; then
  echo "No DISPLAY: starting a virtual one (Xvfb); the flies walk there, out of sight." >&2
  exec xvfb-run -a "$0" "$@"
fi
if [ ! -d "$WINEPREFIX/drive_c" ]; then
  echo "Creating the Wine prefix $WINEPREFIX (once, about 15 s)" >&2
  wineboot --init >/dev/null 2>&1
  wineserver -w
fi
# Windows has "MS Sans Serif" and Tahoma; Debian's Wine keeps them outside the prefix.
cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
exec wine "$program" "$@"

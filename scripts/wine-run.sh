#!/bin/sh
# Runs a Windows console program under Wine and passes its exit code through; CTest's emulator
# for the cross build. The prefix is made once and then reused:
#   WINEPREFIX  (default $HOME/.tiltwise-wine)
set -eu

if [ $# -lt 1 ]; then
  echo "usage: $0 program.exe [args...]" >&2
  exit 2
fi

: "${WINEPREFIX:=$HOME/.tiltwise-wine}"
: "${WINEDEBUG:=-all}"
# No Mono or Gecko download prompt: console programs need neither.
: "${WINEDLLOVERRIDES:=mscoree,mshtml=}"
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES

if command -v wine64 >/dev/null 2>&1; then
  WINE=wine64
elif [ -x /usr/lib/wine/wine64 ]; then
  WINE=/usr/lib/wine/wine64
else
  WINE=wine
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  # Parallel test runs may arrive here together: one makes the prefix, the others wait.
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      "$WINE" wineboot --init >/dev/null 2>&1
      wineserver_bin=$(command -v wineserver64 || command -v wineserver || echo /usr/lib/wine/wineserver64)
      WINEPREFIX="$WINEPREFIX" "$wineserver_bin" -w || true
    fi
  ) 9>"$WINEPREFIX.lock"
fi

exec "$WINE" "$@"

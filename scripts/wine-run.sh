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

# Made once, then reused; the marker is written only after wineboot has finished.
ready="$WINEPREFIX/.tiltwise-ready"
if [ ! -f "$ready" ]; then
  mkdir -p "$WINEPREFIX"
  # Parallel test runs may arrive here together: one makes the prefix, the others wait.
  (
    flock 9
    if [ ! -f "$ready" ]; then
      "$WINE" wineboot --init >/dev/null 2>&1
      touch "$ready"
    fi
  ) 9>"$WINEPREFIX/.tiltwise-lock"
fi

exec "$WINE" "$@"

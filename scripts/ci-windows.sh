#!/bin/bash
# The Windows leg of CI: cross-builds the mingw preset and runs its test suites under Wine, then
# the Wine end-to-end run against the native camera simulator when that is built, the smoke test
# of the dialog program tiltwise.exe and the keyboard run of the site window tiltwise-site.exe.
# Windows are made on a private Xvfb display.
# Needs the Debian packages g++-mingw-w64-x86-64-posix, mingw-w64-tools, wine, wine64, xvfb,
# xdotool, imagemagick and python3.
#
#   scripts/ci-windows.sh
#   WINEPREFIX   the Wine prefix to make and use (default: build/wineprefix in the tree)
#   TILTWISE_CAMSIM_EXE   native simulator for the end-to-end run (default: the one in
#                         build/default, else one built with the gui-off preset)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

for tool in x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-windres cmake ninja wineserver \
  Xvfb xdotool import python3; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "ci-windows: $tool is missing (Debian: g++-mingw-w64-x86-64-posix mingw-w64-tools" \
      "cmake ninja-build wine wine64 xvfb xdotool imagemagick python3)" >&2
    exit 1
  fi
done

export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
started=$(date +%s)
stamp() { echo "ci-windows: $1 ($(($(date +%s) - started)) s)"; }

# One X display for the whole run, before any Wine program starts (they keep the display they
# found): the Win32 backend's tests and the smoke test make real windows, and the tests must
# not skip for want of one.
xvfb_out=$(mktemp)
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$xvfb_out" 2>/dev/null &
xvfb_pid=$!
trap 'kill "$xvfb_pid" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  [ -s "$xvfb_out" ] && break
  sleep 0.1
done
if [ ! -s "$xvfb_out" ]; then
  echo "ci-windows: Xvfb did not start" >&2
  exit 1
fi
DISPLAY=":$(head -1 "$xvfb_out")"
export DISPLAY TILTWISE_REQUIRE_DISPLAY=1
rm -f "$xvfb_out"

# One prefix and one Wine server for the whole run: Wine's first start takes seconds, every
# later program starts in a fraction of one. The server needs the prefix's folder to exist.
mkdir -p "$WINEPREFIX"
wineserver -p
trap 'wineserver -k 2>/dev/null || true; kill "$xvfb_pid" 2>/dev/null || true' EXIT
"$root/scripts/wine-run.sh" cmd /c exit 0 # makes the prefix once (wineboot --init)
stamp "Wine prefix ready in $WINEPREFIX"

cmake --preset mingw
cmake --build --preset mingw
stamp "built"

ctest --preset mingw
stamp "test suites passed under Wine"

# The simulator is a POSIX program: build it natively (without the dialog) when the Linux leg
# has not left one behind.
if [ -z "${TILTWISE_CAMSIM_EXE:-}" ]; then
  export TILTWISE_CAMSIM_EXE=$root/build/default/camsim/tiltwise-camsim
  if [ ! -x "$TILTWISE_CAMSIM_EXE" ]; then
    cmake --preset gui-off >/dev/null
    cmake --build --preset gui-off --target tiltwise-camsim
    TILTWISE_CAMSIM_EXE=$root/build/gui-off/camsim/tiltwise-camsim
    stamp "native simulator built"
  fi
fi
status=0
# The native cgi tests run against the same simulator too, so both systems' results are compared.
if [ -z "${TILTWISE_NATIVE_BUILD:-}" ] && [ -x "$root/build/default/cgi/tiltwise_cgi_test" ]; then
  export TILTWISE_NATIVE_BUILD=$root/build/default
fi
"$root/scripts/wine-e2e.sh" "$root/build/mingw" || status=$?
case $status in
  0) stamp "end-to-end run passed" ;;
  77) stamp "end-to-end run skipped: no native simulator built" ;;
  *) exit "$status" ;;
esac

status=0
TILTWISE_DISPLAY=$DISPLAY "$root/scripts/wine-gui-smoke.sh" "$root/build/mingw" || status=$?
case $status in
  0) stamp "dialog program smoke test passed" ;;
  77) stamp "dialog program smoke test skipped: a tool or the simulator is missing" ;;
  *) exit "$status" ;;
esac

# The site window under Wine, driven by the keyboard against 40 simulated cameras.
# xdotool's keys under Wine are now and then lost on a loaded machine (a letter of the typed
# password, seen twice in CI); a real fault fails both tries.
for try in 1 2; do
  status=0
  TILTWISE_DISPLAY=$DISPLAY "$root/scripts/site-xvfb.sh" "$root/build/mingw/site/tiltwise-site.exe" \
    "$TILTWISE_CAMSIM_EXE" "$root/build/artifacts" || status=$?
  if [ "$status" -eq 0 ] || [ "$status" -eq 77 ]; then break; fi
  [ "$try" -eq 1 ] && stamp "site window under Wine failed once; trying again"
done
case $status in
  0) stamp "site window under Wine passed" ;;
  77) stamp "site window under Wine skipped: a tool is missing" ;;
  *) exit "$status" ;;
esac

# The programs as users get them: optimised, stripped, no test hooks; size and imports checked.
cmake --preset mingw-release >/dev/null
cmake --build --preset mingw-release --target tiltwise tiltwise-cli tiltwise-site
"$root/scripts/check-windows-exe.sh" "$root/build/mingw-release/app/tiltwise.exe" \
  "$root/build/mingw-release/cli/tiltwise-cli.exe:2097152" \
  "$root/build/mingw-release/site/tiltwise-site.exe:2097152"
stamp "release programs checked"

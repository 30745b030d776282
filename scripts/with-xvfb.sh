#!/usr/bin/env bash
# Runs a command with DISPLAY on a private Xvfb server, which it picks, starts and stops.
#
#   scripts/with-xvfb.sh SECONDS COMMAND [ARG]...
#
# The command gets at most SECONDS. Exit status: the command's; 77 when Xvfb is missing (a
# skip for CTest); 1 when the server does not come up.
set -uo pipefail

if [[ $# -lt 2 ]]; then
  echo "usage: $0 SECONDS COMMAND [ARG]..." >&2
  exit 2
fi
limit=$1
shift
command -v Xvfb >/dev/null 2>&1 || {
  echo "SKIP: Xvfb is not installed"
  exit 77
}

# A sanitizer build: the X libraries' own lifetime caches are not leaks of the program's.
here=$(dirname "$0")
export LSAN_OPTIONS="suppressions=$here/lsan-x11.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

# shellcheck source=scripts/children.sh
. "$here/children.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/with-xvfb.XXXXXX") || exit 1
XVFB_PID=""
cleanup() {
  [[ -n $XVFB_PID ]] && stop_child "$XVFB_PID"
  rm -rf "$work"
}
trap cleanup EXIT
start_xvfb "$work" $((limit + 30)) 1024x768x24 || exit 1
timeout "$limit" "$@"

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

work=$(mktemp -d "${TMPDIR:-/tmp}/with-xvfb.XXXXXX") || exit 1
timeout $((limit + 30)) Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset \
  3>"$work/display" </dev/null >"$work/xvfb.log" 2>&1 &
server=$!
# shellcheck source=scripts/children.sh
. "$here/children.sh"
cleanup() {
  stop_child "$server"
  rm -rf "$work"
}
trap cleanup EXIT

for ((i = 0; i < 150; i++)); do
  [[ -s $work/display ]] && break
  sleep 0.1
done
if [[ ! -s $work/display ]]; then
  echo "Xvfb did not start:" >&2
  cat "$work/xvfb.log" >&2
  exit 1
fi
DISPLAY=":$(head -n1 "$work/display")" timeout "$limit" "$@"

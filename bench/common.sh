# Shared start of the benchmark scripts, sourced after `set -euo pipefail` with the script's
# arguments: the programs of a build (BUILD_DIR, default build/default), a work folder, and
# simulators started with start_sim, all stopped and removed on exit. Loopback only.
# shellcheck shell=bash disable=SC2034
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build/default}
cli=$build/cli/tiltwise-cli
sim=$build/camsim/tiltwise-camsim
password=bench-pw
for f in "$cli" "$sim"; do
  [ -x "$f" ] || { echo "missing $f: build it first" >&2; exit 2; }
done

work=$(mktemp -d /tmp/tiltwise-bench.XXXXXX)
sim_pids=()
# shellcheck source=scripts/children.sh
. "$(dirname "${BASH_SOURCE[0]}")/../scripts/children.sh"
cleanup() {
  for p in "${sim_pids[@]}"; do stop_child "$p"; done
  rm -rf "$work"
}
trap cleanup EXIT

# start_sim NAME ARGS...: starts a simulator with the bench password, its output in
# $work/NAME.log and .err, and sets sim_port to the (first) port of its "listening on" line.
# Not in a command substitution: the simulator must stay known to cleanup.
start_sim() {
  local name=$1 port=""
  shift
  "$sim" --password "$password" "$@" >"$work/$name.log" 2>"$work/$name.err" &
  sim_pids+=($!)
  for _ in $(seq 100); do
    port=$(sed -n 's/^listening on .*:\([0-9]*\).*/\1/p' "$work/$name.log")
    [ -n "$port" ] && break
    sleep 0.1
  done
  [ -n "$port" ] || { echo "a simulator did not start:" >&2; cat "$work/$name.err" >&2; exit 1; }
  sim_port=$port  # read by the scripts that source this file
}

#!/usr/bin/env bash
# A site's restarts: 1,000 simulated cameras that restart for 3 s after each set, changed with
# tiltwise-cli set --verify at the default settings (16 jobs; a camera waiting for its restart
# holds no job slot). The baseline is the same engine with restart waits holding their slot, as
# every run did before, at 64 jobs (bench/restart_baseline). Prints both times and their ratio
# and checks that every camera was verified, in both runs, and holds the last values written.
# Loopback only; every step bounded.
#
#   bench/cli_restart_bench.sh [BUILD_DIR]   (default build/default; needs tiltwise-cli,
#                                             tiltwise-camsim and restart_baseline built there)
# Environment: CAMERAS (default 1000), REBOOT_SECONDS (default 3), BASELINE_JOBS (default 64).
set -euo pipefail

# shellcheck source=bench/common.sh
. "$(dirname "$0")/common.sh"
cameras=${CAMERAS:-1000}
reboot=${REBOOT_SECONDS:-3}
baseline_jobs=${BASELINE_JOBS:-64}
baseline=$build/bench/restart_baseline
[ -x "$baseline" ] || { echo "missing $baseline: build it first" >&2; exit 2; }

start_sim sim --bind 127.0.0.1 --port 0 --cameras "$cameras" --reboot-seconds "$reboot" --quiet
first=$sim_port
echo "$cameras simulated cameras on 127.0.0.1:$first-$((first + cameras - 1)), ${reboot} s restarts"
{ echo "host,port"; seq "$first" $((first + cameras - 1)) | sed 's/^/127.0.0.1,/'; } \
  >"$work/fleet.csv"
now_ms() { date +%s%3N; }

# Runs one set (LABEL then the command); prints its time in ms. Every camera must report a
# set that was verified.
timed_set() {
  local label=$1
  shift
  local t0 t1 status verified
  t0=$(now_ms)
  set +e
  TILTWISE_PASSWORD=$password timeout 900 "$@" >"$work/$label.out" 2>"$work/$label.err"
  status=$?
  set -e
  t1=$(now_ms)
  verified=$(grep -c '"outcome":"set","ok":true,.*"verified":true' "$work/$label.out" || true)
  if [ "$status" -ne 0 ] || [ "$verified" -ne "$cameras" ]; then
    echo "FAIL $label: exit $status, $verified of $cameras verified" >&2
    head -5 "$work/$label.err" >&2
    exit 1
  fi
  echo $((t1 - t0))
}

overlap_ms=$(timed_set overlap "$cli" set --flip on --verify --json --input "$work/fleet.csv")
echo "tiltwise-cli set --verify (16 jobs, waits hold no slot): ${overlap_ms} ms, all verified"
baseline_ms=$(timed_set baseline "$baseline" "$first" "$cameras" "$baseline_jobs" off)
echo "baseline, waits hold a slot (-j $baseline_jobs): ${baseline_ms} ms, all verified"

TILTWISE_PASSWORD=$password timeout 600 "$cli" query --input "$work/fleet.csv" -j 64 --json \
  >"$work/query.out" || true
held=$(grep -c '"flip_before":false' "$work/query.out" || true)
[ "$held" -eq "$cameras" ] || { echo "FAIL: $held of $cameras read back as set" >&2; exit 1; }
echo "  read back: all $cameras cameras hold the last values written"

awk -v o="$overlap_ms" -v b="$baseline_ms" 'BEGIN {
  r = o > 0 ? b / o : 0
  verdict = (o < 8000) ? "PASS" : "BELOW GOAL"
  printf "ratio (baseline / overlapping): %.1fx; goal under 8000 ms: %s\n", r, verdict
}'

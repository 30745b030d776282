#!/usr/bin/env bash
# Sets 1,000 simulated cameras with tiltwise-cli (-j 64) and, as the baseline, with curl
# through xargs -P 64, making the same two requests per camera (the probe and the set
# command; the cli with --force so it reads nothing first). Prints both times and their
# ratio, and checks every camera's outcome in both runs. Loopback only; every step bounded.
#
#   bench/cli_fleet_bench.sh [BUILD_DIR]     (default build/default; needs tiltwise-cli and
#                                             tiltwise-camsim built there)
# Environment: CAMERAS (default 1000), JOBS (default 64).
set -euo pipefail

# shellcheck source=bench/common.sh
. "$(dirname "$0")/common.sh"
cameras=${CAMERAS:-1000}
jobs=${JOBS:-64}
command -v curl >/dev/null || { echo "curl is needed for the baseline" >&2; exit 2; }

# The simulator finds a run of free ports itself (--port 0) and logs one line per request.
start_sim sim --bind 127.0.0.1 --port 0 --cameras "$cameras"
first=$sim_port
last=$((first + cameras - 1))
echo "$cameras simulated cameras on 127.0.0.1:$first-$last, $jobs at once"

seq "$first" "$last" >"$work/ports"
now_ms() { date +%s%3N; }

# Counts log lines "PORT GET PATH 200" for PATH in the ports of this run; every camera must
# show exactly one probe and one set command with the wanted values.
check_log() {
  local from=$1 flip=$2 mirror=$3 label=$4
  local probes sets
  probes=$(tail -n +"$from" "$work/sim.log" | awk '$2=="GET" && $3=="/qx.html" && $4=="200"' |
    awk '{print $1}' | sort | uniq -c | awk '$1==1' | wc -l)
  sets=$(tail -n +"$from" "$work/sim.log" |
    awk -v p="/param.cgi?cmd=setmotorrange&-flip=$flip&-mirror=$mirror" \
      '$2=="GET" && $3==p && $4=="200"' | awk '{print $1}' | sort | uniq -c |
    awk '$1==1' | wc -l)
  if [ "$probes" -ne "$cameras" ] || [ "$sets" -ne "$cameras" ]; then
    echo "FAIL $label: $probes cameras probed, $sets set once to flip=$flip mirror=$mirror" >&2
    return 1
  fi
  echo "  $label: all $cameras cameras probed and set once (log checked)"
}

# Baseline: one curl per camera with both requests, 64 at once.
start_line=$(($(wc -l <"$work/sim.log") + 1))
t0=$(now_ms)
timeout 600 xargs -P "$jobs" -I{} curl --noproxy '*' -s --max-time 30 -u "admin:$password" \
  -w '\n{} %{http_code}\n' \
  "http://127.0.0.1:{}/qx.html" \
  "http://127.0.0.1:{}/param.cgi?cmd=setmotorrange&-flip=1&-mirror=0" \
  <"$work/ports" >"$work/curl.out"
t1=$(now_ms)
curl_ms=$((t1 - t0))
succeeded=$(grep -c '^\[Succeed\]' "$work/curl.out" || true)
[ "$succeeded" -eq "$cameras" ] || { echo "FAIL curl: $succeeded of $cameras set" >&2; exit 1; }
echo "curl + xargs -P $jobs: ${curl_ms} ms"
check_log "$start_line" 1 0 curl

# tiltwise-cli: the same two requests per camera.
start_line=$(($(wc -l <"$work/sim.log") + 1))
{ echo "host,port"; sed 's/^/127.0.0.1,/' "$work/ports"; } >"$work/fleet.csv"
t0=$(now_ms)
set +e
TILTWISE_PASSWORD=$password timeout 600 "$cli" set --force --flip off --mirror on \
  --input "$work/fleet.csv" -j "$jobs" --json >"$work/cli.out" 2>"$work/cli.err"
status=$?
set -e
t1=$(now_ms)
cli_ms=$((t1 - t0))
ok=$(grep -c '"outcome":"set","ok":true,"message":"Set success, camera rebooting."' \
  "$work/cli.out" || true)
if [ "$status" -ne 0 ] || [ "$ok" -ne "$cameras" ]; then
  echo "FAIL tiltwise-cli: exit $status, $ok of $cameras set" >&2
  head -5 "$work/cli.err" >&2
  exit 1
fi
echo "tiltwise-cli -j $jobs:     ${cli_ms} ms"
check_log "$start_line" 0 1 tiltwise-cli

# The cameras hold what the last run wrote (read back after the timing).
TILTWISE_PASSWORD=$password timeout 600 "$cli" query --input "$work/fleet.csv" -j "$jobs" \
  --json >"$work/query.out"
held=$(grep -c '"flip_before":false,"mirror_before":true' "$work/query.out" || true)
[ "$held" -eq "$cameras" ] || { echo "FAIL: $held of $cameras read back as set" >&2; exit 1; }
echo "  read back: all $cameras cameras hold flip off, mirror on"

awk -v c="$curl_ms" -v t="$cli_ms" 'BEGIN {
  r = t > 0 ? c / t : 0
  verdict = (r >= 5) ? "PASS" : "BELOW GOAL"
  printf "ratio (curl / tiltwise-cli): %.1fx  (goal: at least 5x) %s\n", r, verdict
}'

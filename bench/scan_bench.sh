#!/usr/bin/env bash
# Finds the cameras in two /24 ranges of 127.0.0.0/8 with tiltwise-cli scan and, as the
# baseline, with what an administrator writes today: nmap -n -sT -Pn -T5 --open for the open
# ports, then curl --parallel reading each information page (--max-time the scan's limit).
# 40 simulated cameras (one with another password), 20 silent listeners, every other address refusing. Both results are
# checked for every camera; prints both times, their ratio, and the scan's time in connect
# limits. Both wait one limit for the silent listeners, which no client can shorten; the scan
# also reads each camera's orientation. Loopback only; every step bounded.
#
#   bench/scan_bench.sh [BUILD_DIR]     (default build/default; needs tiltwise-cli and
#                                        tiltwise-camsim built there; nmap and curl)
# Environment: TIMEOUT_MS (default 2000): the scan's connect limit and curl's --max-time.
set -euo pipefail

# shellcheck source=bench/common.sh
. "$(dirname "$0")/common.sh"
timeout_ms=${TIMEOUT_MS:-2000}
ranges=(127.0.70.0/24 127.0.71.0/24)
for tool in nmap curl; do
  command -v "$tool" >/dev/null || { echo "$tool is needed for the baseline (scripts/deps.sh)" >&2; exit 2; }
done

# 40 cameras in the first range, the sixth with another password; the system picks a port
# free on all of them, and the silent listeners of the second range take the same one.
start_sim cameras --quiet --hosts 127.0.70.1-127.0.70.40 --port 0 --password-at @5:another
port=$sim_port
silent_faults=()
for i in $(seq 0 19); do silent_faults+=(--fault "@$i:silent"); done
start_sim silent --quiet --hosts 127.0.71.1-127.0.71.20 --port "$port" "${silent_faults[@]}"
echo "40 cameras on 127.0.70.1-40:$port, 20 silent listeners on 127.0.71.1-20:$port;" \
  "ranges ${ranges[*]}, connect limit $timeout_ms ms"

now_ms() { date +%s%3N; }
expected_cameras=$(for i in $(seq 1 40); do [ "$i" -ne 6 ] && echo "127.0.70.$i"; done | sort)

# tiltwise-cli scan: the list it writes must hold the 39 cameras and the one auth-failed.
t0=$(now_ms)
TILTWISE_PASSWORD=$password timeout 120 "$cli" scan "${ranges[@]}" --port "$port" \
  --timeout "$timeout_ms" --csv >"$work/scan.csv"
t1=$(now_ms)
scan_ms=$((t1 - t0))
found=$(awk -F, '$6=="camera" {print $1}' "$work/scan.csv" | sort)
locked=$(awk -F, '$6=="auth-failed" {print $1}' "$work/scan.csv")
if [ "$found" != "$expected_cameras" ] || [ "$locked" != "127.0.70.6" ]; then
  echo "FAIL tiltwise-cli scan: $(echo "$found" | grep -c . ) cameras, auth-failed: $locked" >&2
  exit 1
fi
echo "tiltwise-cli scan: ${scan_ms} ms (39 cameras with their values, 1 auth-failed)"

# Baseline: nmap for the open ports, then curl on each, all at once.
t0=$(now_ms)
# -n: without it nmap asks the system's DNS servers for every address's name, which is
# traffic off loopback (and, without a reachable server, half a minute of time-outs).
timeout 300 nmap -n -sT -Pn -T5 --open -p "$port" -oG "$work/nmap.txt" "${ranges[@]}" >/dev/null
awk '/Ports: .*open/ {print $2}' "$work/nmap.txt" | sort -t. -k3,3n -k4,4n >"$work/open"
max_time=$(awk -v ms="$timeout_ms" 'BEGIN {printf "%.3f", ms / 1000}')
: >"$work/curl.cfg"
while read -r host; do
  printf 'url = "http://%s:%s/qx.html"\noutput = "%s/%s.html"\n' "$host" "$port" "$work" "$host" \
    >>"$work/curl.cfg"
done <"$work/open"
# --noproxy: a proxy from the environment would carry the requests off loopback.
timeout 120 curl --parallel --parallel-max 100 -s --noproxy '*' --max-time "$max_time" \
  -u "admin:$password" \
  -w '%{url_effective} %{http_code}\n' -K "$work/curl.cfg" >"$work/curl.out" 2>"$work/curl.err" ||
  true
t1=$(now_ms)
pipeline_ms=$((t1 - t0))
curl_found=$(grep -l 'var chip_type=' "$work"/127.*.html 2>/dev/null | sed 's#.*/##; s#\.html$##' | sort)
curl_locked=$(awk '$2=="401" {print $1}' "$work/curl.out" | sed 's#http://##; s#:.*##')
if [ "$curl_found" != "$expected_cameras" ] || [ "$curl_locked" != "127.0.70.6" ]; then
  echo "FAIL nmap + curl: $(echo "$curl_found" | grep -c .) cameras, 401: $curl_locked" >&2
  exit 1
fi
echo "nmap -n -sT -Pn -T5 + curl --parallel: ${pipeline_ms} ms ($(wc -l <"$work/open") open," \
  "39 information pages, 1 401; no orientation read)"

awk -v s="$scan_ms" -v p="$pipeline_ms" -v t="$timeout_ms" 'BEGIN {
  printf "ratio pipeline / scan: %.2f (goal >= 2)\n", p / s
  printf "scan time: %.2f connect limits (goal <= 1.5)\n", s / t
}'

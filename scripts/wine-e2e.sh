#!/bin/bash
# Runs the Windows build, under Wine, against the native camera simulator on loopback: the
# simulator's exchange tests in the cgi test program and, when it was built, tiltwise-cli.exe.
#
#   scripts/wine-e2e.sh [WINDOWS_BUILD_DIR]            (default build/mingw)
#   TILTWISE_CAMSIM_EXE     the native simulator (default build/default/camsim/tiltwise-camsim)
#   TILTWISE_NATIVE_BUILD   optional native build dir: its cgi tests run against the same
#                           simulator too, for a side-by-side comparison
# Exit status 0 when everything passed, 1 on a failure, 77 when the simulator is not built.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/mingw}" && pwd)
camsim=${TILTWISE_CAMSIM_EXE:-$root/build/default/camsim/tiltwise-camsim}
run="$root/scripts/wine-run.sh"

if [ ! -x "$camsim" ]; then
  echo "wine-e2e: no simulator at $camsim (build it natively or set TILTWISE_CAMSIM_EXE)" >&2
  exit 77
fi
cgi_test="$build/cgi/tiltwise_cgi_test.exe"
if [ ! -f "$cgi_test" ]; then
  echo "wine-e2e: $cgi_test is missing; build the mingw preset first" >&2
  exit 1
fi

work=$(mktemp -d)
camsim_pid=""
# shellcheck source=scripts/children.sh
. "$root/scripts/children.sh"
cleanup() {
  [ -n "$camsim_pid" ] && stop_child "$camsim_pid"
  rm -rf "$work"
}
trap cleanup EXIT

# Seven cameras on consecutive free ports: a good one, a silent one, one that hangs up, one
# whose values lie past the first 2048 bytes of its reply, two that want Digest (MD5, and
# SHA-256 only), and a Digest one with a second password.
mkfifo "$work/out"
"$camsim" --port 0 --cameras 7 --fault @1:silent --fault @2:close --fault @3:oversize \
  --auth-at @4:digest --auth-at @5:digest-sha256 --auth-at @6:digest --password-at @6:second \
  --flip 1 --mirror 1 --quiet >"$work/out" &
camsim_pid=$!
exec 3<"$work/out"
line=""
if ! read -r -t 10 line <&3; then
  echo "wine-e2e: the simulator did not report where it listens" >&2
  exit 1
fi
# "listening on 127.0.0.1:FIRST-LAST (3 cameras)"
if [[ ! $line =~ ^listening\ on\ (127\.[0-9.]+):([0-9]+)- ]]; then
  echo "wine-e2e: unexpected simulator line: $line" >&2
  exit 1
fi
addr=${BASH_REMATCH[1]}
first=${BASH_REMATCH[2]}
export TILTWISE_CAMSIM="$addr:$first"
export TILTWISE_CAMSIM_SILENT="$addr:$((first + 1))"
export TILTWISE_CAMSIM_CLOSING="$addr:$((first + 2))"
oversize="$addr:$((first + 3))"
export TILTWISE_CAMSIM_DIGEST="$addr:$((first + 4))"
export TILTWISE_CAMSIM_DIGEST_SHA256="$addr:$((first + 5))"
# Keep the simulator's pipe drained so it never blocks on a full one.
cat <&3 >/dev/null &
exec 3<&-
echo "wine-e2e: simulator at $TILTWISE_CAMSIM (silent +1, closing +2)"

failed=0
# Runs one test program on the simulator's cases; a skipped case means an environment variable
# did not reach the program, which counts as a failure.
run_cases() {
  local label=$1 log=$2
  shift 2
  echo "== $label"
  local status=0
  "$@" --gtest_filter='SimulatorPeerTest.*' >"$log" 2>&1 || status=$?
  tr -d '\r' <"$log" | grep -E '^\[ +(OK|FAILED|SKIPPED) ' || true
  if [ $status -ne 0 ] || tr -d '\r' <"$log" | grep -q '^\[  SKIPPED'; then
    tr -d '\r' <"$log"
    echo "wine-e2e: $label failed" >&2
    failed=1
  fi
}

run_cases "exchange tests, Windows build under Wine" "$work/wine.log" "$run" "$cgi_test"
native_test="${TILTWISE_NATIVE_BUILD:-}/cgi/tiltwise_cgi_test"
if [ -n "${TILTWISE_NATIVE_BUILD:-}" ] && [ -x "$native_test" ]; then
  run_cases "the same tests, native build" "$work/native.log" "$native_test"
fi

cli="$build/cli/tiltwise-cli.exe"
if [ -f "$cli" ]; then
  echo "== tiltwise-cli.exe under Wine"
  cli_run() { TILTWISE_PASSWORD=quillpen "$run" "$cli" "$@" -u admin 2>&1 | tr -d '\r'; }
  set_out=$(cli_run set --flip on --mirror off "$TILTWISE_CAMSIM") || {
    echo "$set_out"
    echo "wine-e2e: tiltwise-cli set failed" >&2
    failed=1
  }
  echo "$set_out"
  query_out=$(cli_run query --json "$TILTWISE_CAMSIM") || {
    echo "$query_out"
    echo "wine-e2e: tiltwise-cli query failed" >&2
    failed=1
  }
  echo "$query_out"
  if ! grep -q '"flip_after":true' <<<"$query_out" || ! grep -q '"mirror_after":false' <<<"$query_out"; then
    echo "wine-e2e: the query did not read back flip on, mirror off" >&2
    failed=1
  fi
  # Digest cameras: set, then read back, through BCrypt's hashes.
  for digest in "$TILTWISE_CAMSIM_DIGEST" "$TILTWISE_CAMSIM_DIGEST_SHA256"; do
    digest_out=$(cli_run set --verify --flip on --mirror off "$digest" &&
      cli_run query --json "$digest") || true
    if ! grep -q '"flip_after":true' <<<"$digest_out"; then
      echo "$digest_out"
      echo "wine-e2e: tiltwise-cli did not set and read back the Digest camera $digest" >&2
      failed=1
    fi
  done
  silent_status=0
  silent_out=$(cli_run query --timeout 500 "$TILTWISE_CAMSIM_SILENT") || silent_status=$?
  echo "$silent_out"
  if [ $silent_status -ne 1 ]; then
    echo "wine-e2e: a silent camera gave exit status $silent_status, not 1 (failed)" >&2
    failed=1
  fi
  # Values that were not in the reply are never "off": no set, no "already as wanted".
  for args in "query" "set --flip off --mirror off" "set --dry-run --flip off --mirror off" \
    "set --verify --flip on --mirror on"; do
    unread_status=0
    # shellcheck disable=SC2086 # the words of $args are separate arguments
    unread_out=$(cli_run $args --json "$oversize") || unread_status=$?
    if [ $unread_status -ne 1 ] || ! grep -q '"cause":"values-missing"' <<<"$unread_out"; then
      echo "$unread_out"
      echo "wine-e2e: $args on a reply without values: status $unread_status" >&2
      failed=1
    fi
  done
  # The camera's own address with a leading zero, as a spreadsheet may write it.
  typo="${addr%.*}.0${addr##*.}"
  typo_status=0
  cli_run query "$typo:$first" >/dev/null || typo_status=$?
  if [ $typo_status -ne 2 ]; then
    echo "wine-e2e: the address $typo was not refused (status $typo_status)" >&2
    failed=1
  fi
  # A list as a spreadsheet saves it (sep= line, byte-order mark, semicolons, CRLF, an empty
  # row, a column of the site's own), then its report fed back as a list.
  printf '\xef\xbb\xbfsep=;\r\nhost;port;notes\r\n;;\r\n%s ;%s;" K\xc3\xbcche "\r\n' "$addr" "$first" \
    >"$work/site.csv"
  TILTWISE_PASSWORD=quillpen "$run" "$cli" query --json --input "Z:$work/site.csv" \
    >"$work/report.jsonl" 2>"$work/list.err" || true
  list_out=$(cli_run query --csv --input "Z:$work/report.jsonl") || true
  echo "$list_out"
  if ! grep -q '"index":1,.*"notes":" Küche "' "$work/report.jsonl" ||
    ! grep -q "^1,$addr,$first,.*,\" Küche \"\$" <<<"$list_out" ||
    ! grep -q 'carried into the report as they are: notes' "$work/list.err"; then
    cat "$work/report.jsonl" "$work/list.err"
    echo "wine-e2e: the spreadsheet list or its report fed back was not read as it is" >&2
    failed=1
  fi
  # The connect sweep through the Windows socket layer: every kind of peer at once.
  scan_out=$(cli_run scan --json --all --timeout 1000 \
    --port "$first,$((first + 1)),$((first + 2)),$((first + 3))" "$addr") || {
    echo "$scan_out"
    echo "wine-e2e: tiltwise-cli scan failed" >&2
    failed=1
  }
  echo "$scan_out"
  for want in "$first,\"status\":\"camera\".*\"flip_now\":true,\"mirror_now\":false" \
    "$((first + 1)),\"status\":\"no-reply\".*\"cause\":\"timed-out\"" \
    "$((first + 2)),\"status\":\"no-reply\"" \
    "$((first + 3)),\"status\":\"not-a-camera\""; do
    if ! grep -q "\"port\":$want" <<<"$scan_out"; then
      echo "wine-e2e: the scan has no line matching port $want" >&2
      failed=1
    fi
  done
  # A site with two passwords: the scan's list names the login that worked and the Digest
  # camera, set goes through that list, and a report alone retries its failures.
  printf 'admin:second\n' >"$work/logins.txt"
  # Standard output only: the lists and reports are read back.
  site() { (cd "$work" && TILTWISE_PASSWORD=quillpen "$run" "$cli" "$@" -u admin | tr -d '\r'); }
  site scan --csv --timeout 1000 --credentials logins.txt \
    --port "$first,$((first + 1)),$((first + 2)),$((first + 6))" "$addr" >"$work/site.csv" || {
    cat "$work/site.csv"
    echo "wine-e2e: the two-password scan failed" >&2
    failed=1
  }
  cat "$work/site.csv"
  for want in "$first,admin,1,basic,camera" "$((first + 1)),,,,no-reply" \
    "$((first + 2)),,,,no-reply" "$((first + 6)),admin,2,digest,camera"; do
    if ! grep -q "^$addr,$want," "$work/site.csv"; then
      echo "wine-e2e: the scan's list has no row $want" >&2
      failed=1
    fi
  done
  site set --flip off --json --timeout 1000 --credentials logins.txt --input site.csv \
    "$TILTWISE_CAMSIM_SILENT" >"$work/result.jsonl" || true
  cat "$work/result.jsonl"
  if ! grep -q "\"port\":$((first + 6)),.*\"ok\":true.*\"login\":2,\"auth\":\"digest\"" \
    "$work/result.jsonl"; then
    echo "wine-e2e: set through the list did not reach the second password's camera" >&2
    failed=1
  fi
  retry_out=$(site set --input result.jsonl --only-failed --timeout 500 --json) || true
  echo "$retry_out"
  if ! grep -q "\"port\":$((first + 1)),.*\"flip_wanted\":false,\"mirror_wanted\":\"keep\"" \
    <<<"$retry_out" || [ "$(grep -c . <<<"$retry_out")" -ne 1 ]; then
    echo "wine-e2e: the retry from the report alone did not take the failed camera" >&2
    failed=1
  fi
else
  echo "== no $cli: command-line tool not checked"
fi

if [ $failed -eq 0 ]; then echo "wine-e2e: all passed"; fi
exit $failed

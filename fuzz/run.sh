#!/bin/sh
# Builds the fuzz targets with clang in build/fuzz and runs each for a share of a bounded time
# (FUZZ_SECONDS, 60 by default, in all). Prints the executions per target; exits non-zero if
# any target crashed or failed a check (the input is kept as build/fuzz/crash-<target>-*).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/fuzz
total=${FUZZ_SECONDS:-60}
targets="fuzz_var_readers:var fuzz_xml_readers:xml fuzz_encoders:encoders fuzz_header_end:header
  fuzz_challenge:challenge fuzz_list_reader:lists"
count=$(echo $targets | wc -w)
each=$(( total / count ))
[ "$each" -ge 1 ] || each=1

mkdir -p "$build"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DTILTWISE_GUI=OFF -DTILTWISE_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$build/configure.log" 2>&1 ||
  { cat "$build/configure.log"; exit 2; }
cmake --build "$build" -j2 --target $(for t in $targets; do printf '%s ' "${t%%:*}"; done)

status=0
for entry in $targets; do
  target=${entry%%:*}
  seeds=$root/fuzz/corpus/${entry#*:}
  work=$build/corpus/$target
  log=$build/$target.log
  mkdir -p "$work"
  # New inputs go to the work corpus; the seeds in the source tree stay as they are.
  if "$build/fuzz/$target" -max_total_time="$each" -print_final_stats=1 -timeout=10 \
      -rss_limit_mb=2048 -artifact_prefix="$build/crash-$target-" "$work" "$seeds" \
      >"$log" 2>&1; then
    outcome=ok
  else
    outcome="FAILED (see $log)"
    status=1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  echo "$target: ${runs:-0} executions in ${each}s, $outcome"
done
exit $status

#!/usr/bin/env bash
# The main job on a fresh Debian machine: installs what it needs, builds, starts the camera
# simulator on loopback and opens the Tiltwise dialog against it. Without a display it says so
# and runs the text demonstration instead (the same dialog, driven by a script, no window).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target tiltwise tiltwise-camsim tiltwise-demo tiltwise-cli

bin=$root/build/default
if [ -z "${DISPLAY:-}" ]; then
  echo "No display (DISPLAY is not set): running the text demonstration instead of the window."
  exec "$bin/app/tiltwise-demo" --show-requests
fi

log=$(mktemp)
"$bin/camsim/tiltwise-camsim" --port 0 --flip 1 --reboot-seconds 5 >"$log" &
sim=$!
trap 'kill $sim 2>/dev/null; rm -f "$log"' EXIT
for _ in $(seq 50); do
  grep -q '^listening on' "$log" && break
  sleep 0.1
done
port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$log")
[ -n "$port" ] || { echo "The camera simulator did not start:" >&2; cat "$log" >&2; exit 1; }

cat <<EOT
A simulated camera is listening on 127.0.0.1 port $port (user admin, password quillpen).
In the dialog, first replace the Camera IP (it starts with the cameras' factory address, which
is not on this machine) by 127.0.0.1 and type HTTP Port $port; then press Query or Set.
After a Set the simulated camera restarts for 5 seconds, as a real one does.
EOT
"$bin/app/tiltwise"

# shellcheck shell=bash
# Sourced by the window tests: ending the programs they started in the background, bounded.
# A program that ignores TERM for 5 s is killed, so a test never hangs in its own cleanup on a
# child that holds its output open.

ended() { [[ ! -e /proc/$1 ]] || grep -q '^[0-9]* (.*) Z' "/proc/$1/stat" 2>/dev/null; }

stop_child() {  # PID, often of a `timeout` wrapper: TERM, then KILL it and its children
  local pid=$1 child i
  kill "$pid" 2>/dev/null || return 0
  for ((i = 0; i < 50; i++)); do
    ended "$pid" && break
    sleep 0.1
  done
  if ! ended "$pid"; then
    echo "$(basename "$0"): $(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null)ignored TERM; killed"
    for child in $(pgrep -P "$pid"); do kill -KILL "$child" 2>/dev/null; done
    kill -KILL "$pid" 2>/dev/null
  fi
  wait "$pid" 2>/dev/null
}

# shellcheck shell=bash disable=SC2034
# Sourced by the window tests and benchmarks: a private X server, and ending the programs they
# started in the background, bounded. A program that ignores TERM for 5 s is killed, and none
# writes to the caller's output, so a test never hangs in its own cleanup on a child that holds
# CTest's pipe open.

# A private Xvfb on a display it picks, for at most SECONDS, its output in DIR/xvfb.log. Sets
# XVFB_PID and exports DISPLAY; false (the log on stderr) when it is not up within 15 s.
start_xvfb() {  # DIR SECONDS WIDTHxHEIGHTxDEPTH
  local i
  timeout "$2" Xvfb -displayfd 3 -screen 0 "$3" -nolisten tcp -noreset 3>"$1/display" \
    </dev/null >"$1/xvfb.log" 2>&1 &
  XVFB_PID=$!
  for ((i = 0; i < 150; i++)); do
    [[ -s $1/display ]] && break
    sleep 0.1
  done
  if [[ ! -s $1/display ]]; then
    echo "Xvfb did not start:" >&2
    cat "$1/xvfb.log" >&2
    return 1
  fi
  DISPLAY=":$(head -n1 "$1/display")"
  export DISPLAY
}

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
  wait "$pid" 2>/dev/null || true
}

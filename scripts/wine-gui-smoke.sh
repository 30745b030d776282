#!/bin/bash
# Smoke test of the Windows dialog program: tiltwise.exe under Wine on a private Xvfb display,
# against the native camera simulator on loopback, driven with xdotool like a user would:
#   - the dialog comes up titled "Tiltwise", its controls as the template in res/ says (ids,
#     kinds, texts, rectangles from dialog units), the defaults filled in, the focus in the
#     address box;
#   - typing 127.0.0.1 and the simulator's port, then Enter: the dialog stays open;
#   - a click on Query: the simulator logs the getmotorrange request and the Flip box ticks
#     (the simulator's camera is flipped, not mirrored, and wants Digest with SHA-256: the
#     request is logged as a Digest one);
#   - a camera that trickles its reply: Query ends within 30 s, the window painting again what
#     another window uncovers and taking no input meanwhile; the window manager's close
#     (WM_DELETE_WINDOW) sent meanwhile asks "Are you sure to quit?" after the Query's message;
#   - a screenshot; Escape asks "Are you sure to quit?", No keeps the dialog, Escape and Yes
#     end the program with exit code 0.
# What the program shows is read from the layout dump it writes when TILTWISE_DUMP_LAYOUT names
# a file (ui/LayoutDump.h), checked with scripts/layout_check.py.
#
#   scripts/wine-gui-smoke.sh [WINDOWS_BUILD_DIR]     (default build/mingw)
#   TILTWISE_CAMSIM_EXE   the native simulator (default build/default/camsim/tiltwise-camsim)
#   TILTWISE_ARTIFACTS    where the screenshot goes (default build/artifacts)
#   TILTWISE_DISPLAY      an X display without a window manager to use (default: a private Xvfb)
#   WINEPREFIX            as for scripts/wine-run.sh
# Exit status 0 when everything passed, 1 on a failure, 77 when a tool or the simulator is
# missing.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/mingw}" && pwd)
exe="$build/app/tiltwise.exe"
camsim=${TILTWISE_CAMSIM_EXE:-$root/build/default/camsim/tiltwise-camsim}
artifacts=${TILTWISE_ARTIFACTS:-$root/build/artifacts}
run="$root/scripts/wine-run.sh"
check="$root/scripts/layout_check.py"
started=$(date +%s)

say() { echo "wine-gui-smoke: $* ($(($(date +%s) - started)) s)"; }
fail() {
  echo "wine-gui-smoke: FAILED: $*" >&2
  exit 1
}

for tool in Xvfb xdotool import python3; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "wine-gui-smoke: $tool is missing (Debian: xvfb xdotool imagemagick python3)" >&2
    exit 77
  fi
done
if [ ! -x "$camsim" ]; then
  echo "wine-gui-smoke: no simulator at $camsim (build it natively or set TILTWISE_CAMSIM_EXE)" >&2
  exit 77
fi
[ -f "$exe" ] || fail "$exe is missing; build the mingw preset first"

work=$(mktemp -d)
xvfb_pid=""
camsim_pid=""
trickle_pid=""
app_pid=""
# shellcheck source=scripts/children.sh
. "$root/scripts/children.sh"
cleanup() {
  for pid in $app_pid $trickle_pid $camsim_pid $xvfb_pid; do stop_child "$pid"; done
  rm -rf "$work"
}
trap cleanup EXIT

if [ -n "${TILTWISE_DISPLAY:-}" ]; then
  export DISPLAY=$TILTWISE_DISPLAY
else
  start_xvfb "$work" 600 1024x768x24 || fail "Xvfb did not start"
  xvfb_pid=$XVFB_PID
fi
say "X display $DISPLAY"

# There is no window manager: Wine draws the title bar itself, so the screenshot shows it.
timeout 120 "$run" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 ||
  fail "could not set up the Wine prefix"

# The port a simulator reports in LOG once it listens; status 1 when it says none in 10 s.
port_of() {
  for _ in $(seq 100); do
    if [[ $(head -1 "$1") =~ ^listening\ on\ 127\.0\.0\.1:([0-9]+)$ ]]; then
      echo "${BASH_REMATCH[1]}"
      return 0
    fi
    sleep 0.1
  done
  return 1
}
"$camsim" --port 0 --flip 1 --auth digest-sha256 >"$work/camsim.log" 2>&1 &
camsim_pid=$!
port=$(port_of "$work/camsim.log") ||
  fail "the simulator did not report its port: $(cat "$work/camsim.log")"
say "simulator at 127.0.0.1:$port"

dump="$work/layout.txt"
TILTWISE_DUMP_LAYOUT="$dump" timeout 300 "$run" "$exe" >"$work/app.log" 2>&1 &
app_pid=$!

# Wine's first window in a prefix takes seconds.
window=$(timeout 90 xdotool search --sync --onlyvisible --name '^Tiltwise$' | head -1) ||
  fail "no window titled Tiltwise within 90 s"
shown=$(python3 "$check" wait "$dump" shown --timeout 30) || fail "the dialog did not report itself"
say "dialog up (X window $window)"
python3 "$check" template "$dump" "$shown" --root "$root" ||
  fail "the dialog differs from its template"
python3 "$check" expect "$dump" "$shown" dialog.focus=1000 1001.text=admin 1002.text='********' \
  1003.text=80 1017.check=0 1018.check=0 ||
  fail "the defaults or the first focus are wrong"
# The Set button alone has the enlarged font: the dialog font's height made positive, plus 15.
dialog_font=$(python3 "$check" show "$dump" "$shown" | sed -n 's/^control id=1000 .* font=\(-*[0-9]*\)$/\1/p')
python3 "$check" expect "$dump" "$shown" 1010.font=$((${dialog_font#-} + 15)) \
  1006.font="$dialog_font" 2.font="$dialog_font" || fail "the Set button's font is not enlarged"
say "layout, defaults, focus and fonts as the template and the dialog say"

keys() { xdotool key --window "$window" --delay 30 "$@"; }
# Answers the Confirm box with a key.
answer() {
  local box
  box=$(timeout 20 xdotool search --sync --onlyvisible --name '^Confirm$' | head -1) ||
    fail "no Confirm window"
  xdotool key --window "$box" "$1" 2>/dev/null || true
  # The next question must not find this box still going away: wait until it has gone (on a
  # loaded machine Wine may take a while), sending the key once more if it seems lost.
  for i in $(seq 100); do
    xdotool search --onlyvisible --name '^Confirm$' >/dev/null 2>&1 || return 0
    [ "$i" -ne 30 ] || xdotool key --window "$box" "$1" 2>/dev/null || true
    sleep 0.1
  done
}
# The address box has the focus: replace its text. Tab moves on through the tab order, each edit
# box taking it with its text selected: user name, password, Query, Close, Flip, Mirror, port.
keys End shift+Home
xdotool type --window "$window" --delay 30 127.0.0.1
keys Tab Tab Tab Tab Tab Tab Tab
xdotool type --window "$window" --delay 30 "$port"
keys Return # Enter: IDOK, which this dialog ignores
typed=$(python3 "$check" wait "$dump" 'command 1' --after "$shown" --timeout 20) ||
  fail "Enter was not delivered"
python3 "$check" expect "$dump" "$typed" 1000.text=127.0.0.1 1003.text="$port" dialogs=1 \
  messages=0 dialog.focus=1003 || fail "the typed text did not arrive"
say "typed the simulator's address and port; Enter left the dialog open"

# A real click in the middle of Query: the client area's place in the X window follows from the
# window's size and the client size in the dump (frame on three sides, the caption on top).
read -r wx wy ww wh < <(xdotool getwindowgeometry --shell "$window" |
  awk -F= '/^X=/{x=$2} /^Y=/{y=$2} /^WIDTH=/{w=$2} /^HEIGHT=/{h=$2} END{print x, y, w, h}')
client=$(python3 "$check" show "$dump" "$typed" | sed -n 's/.* client=\([0-9,]*\) .*/\1/p')
query=$(python3 "$check" show "$dump" "$typed" | sed -n 's/^control id=1006 .* rect=\([0-9,]*\) .*/\1/p')
IFS=, read -r _ _ cw ch <<<"$client"
IFS=, read -r ql qt qr qb <<<"$query"
border=$(((ww - cw) / 2))
top=$((wh - ch - border))
xdotool mousemove --sync $((wx + border + (ql + qr) / 2)) $((wy + top + (qt + qb) / 2)) click 1
for _ in $(seq 150); do
  grep -q ' GET /param.cgi?cmd=getmotorrange 200 digest$' "$work/camsim.log" && break
  sleep 0.1
done
grep -q ' GET /param.cgi?cmd=getmotorrange 200 digest$' "$work/camsim.log" ||
  fail "the simulator saw no getmotorrange request: $(cat "$work/camsim.log")"
queried=$(python3 "$check" wait "$dump" 'command 1006' --after "$typed" --timeout 20) ||
  fail "Query did not finish"
python3 "$check" expect "$dump" "$queried" 1017.check=1 1018.check=0 messages=0 ||
  fail "the Flip box is not ticked after Query"
say "Query read flip=1 mirror=0 from the simulator: $(grep -c ' GET ' "$work/camsim.log") requests"

mkdir -p "$artifacts"
timeout 20 import -window root "$artifacts/tiltwise-wine.png" || fail "no screenshot"
say "screenshot in $artifacts/tiltwise-wine.png"

# A camera that trickles its reply a byte a second: the Query ends within 30 s, and meanwhile
# the window paints what another window uncovers and takes no input (a click on Set, a key).
rect_of() { python3 "$check" show "$dump" "$2" | sed -n "s/^control id=$1 .* rect=\([0-9,]*\) .*/\1/p"; }
click_at() {  # ID BLOCK
  local l t r b
  IFS=, read -r l t r b <<<"$(rect_of "$1" "$2")"
  xdotool mousemove --sync $((wx + border + (l + r) / 2)) $((wy + top + (t + b) / 2)) click 1
}
"$camsim" --port 0 --fault @0:trickle >"$work/trickle.log" 2>&1 &
trickle_pid=$!
slow_port=$(port_of "$work/trickle.log") || fail "the trickling simulator did not report its port"
click_at 1003 "$queried"
keys End shift+Home
xdotool type --window "$window" --delay 30 "$slow_port"
pressed=$(date +%s)
click_at 1006 "$queried"
for _ in $(seq 100); do
  grep -q ' GET /qx.html ' "$work/trickle.log" && break
  sleep 0.1
done
grep -q ' GET /qx.html ' "$work/trickle.log" || fail "the trickling camera got no request"
sleep 1
click_at 1010 "$queried"
keys x
# The window manager's close (Wine makes it SC_CLOSE): put off until the Query's message is
# answered.
python3 "$root/scripts/wm-close.py" "$window" || fail "could not ask the window to close"
# Another window over the dialog, then gone: what it uncovered must be painted again.
IFS=, read -r _ _ cw ch <<<"$client"
timeout 20 display -geometry "${cw}x${ch}+$((wx + border))+$((wy + top))" -size 8x8 xc:black &
cover_pid=$!
sleep 2
kill "$cover_pid" 2>/dev/null
wait "$cover_pid" 2>/dev/null || true
sleep 1
timeout 20 import -window root "$work/busy.png" || fail "no screenshot"
for id in 1000 1001 1002 1003; do
  IFS=, read -r l t r b <<<"$(rect_of "$id" "$queried")"
  px=$(convert "$work/busy.png" -format \
    "%[fx:int(255*p{$((wx + border + r - 6)),$((wy + top + (t + b) / 2))}.r)]" info:)
  [ "$px" = 255 ] || fail "during the exchange edit box $id was not painted again"
done
slow=$(python3 "$check" wait "$dump" message --after "$queried" --timeout 40) ||
  fail "the trickling Query did not end"
took=$(($(date +%s) - pressed))
[ "$took" -le 30 ] || fail "the trickling Query held the window ${took}s"
python3 "$check" expect "$dump" "$slow" message.text='Failed to query camera info' \
  message.style=16 1000.text=127.0.0.1 || fail "the trickling Query ended wrongly"
keys Return
asked=$(python3 "$check" wait "$dump" message --after "$slow" --timeout 20) ||
  fail "no quit question after the trickling Query's message"
python3 "$check" expect "$dump" "$asked" message.text='Are you sure to quit?' ||
  fail "after the trickling Query's message came no quit question"
answer n
queried=$(python3 "$check" wait "$dump" 'command 1006' --after "$asked" --timeout 20) ||
  fail "No to the put-off close did not return to the dialog"
sleep 1
python3 "$check" wait "$dump" 'command 1010|message' --after "$queried" --timeout 0 >/dev/null 2>&1 &&
  fail "a click during the exchange ran Set"
grep -q setmotorrange "$work/trickle.log" && fail "a click during the exchange sent a Set"
python3 "$check" expect "$dump" "$queried" 1000.text=127.0.0.1 || fail "a key during the exchange was typed"
say "a trickling camera: Query ended in ${took}s, the window painted and took no input meanwhile;"\
  "the close asked for meanwhile came after its message"

# Escape asks before quitting; No keeps the dialog, Yes ends the program. The box's window is
# gone as soon as the key goes down, so sending the key's release may fail: the dump tells
# whether the answer arrived.
# Right after a box has gone, Wine may not yet have given the dialog back its input: Escape
# is sent again when no question came (a Yes/No box ignores Escape, so it never asks twice).
escape_asks() {
  for attempt in 1 2 3; do
    [ "$attempt" -eq 1 ] || echo "wine-gui-smoke: no question yet; Escape again" >&2
    keys Escape
    python3 "$check" wait "$dump" message --after "$1" --timeout 5 2>/dev/null && return 0
  done
  return 1
}
asked=$(escape_asks "$queried") || fail "Escape did not ask"
python3 "$check" expect "$dump" "$asked" message.caption=Confirm \
  message.text='Are you sure to quit?' message.style=4 || fail "the wrong question"
answer n
kept=$(python3 "$check" wait "$dump" 'command 2' --after "$asked" --timeout 20) ||
  fail "No did not return to the dialog"
python3 "$check" expect "$dump" "$kept" dialogs=1 messages=0 1000.text=127.0.0.1 1017.check=1 ||
  fail "No changed the dialog"
asked=$(escape_asks "$kept") || fail "the second Escape did not ask"
answer y
python3 "$check" wait "$dump" destroy --after "$asked" --timeout 20 >/dev/null ||
  fail "Yes did not close the dialog"
status=0
for _ in $(seq 150); do
  kill -0 "$app_pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$app_pid" 2>/dev/null && fail "the program did not end after Yes"
wait "$app_pid" || status=$?
app_pid=""
[ "$status" -eq 0 ] || fail "the program ended with exit code $status"
say "Escape, No, Escape, Yes: the program ended with exit code 0"
echo "wine-gui-smoke: all passed"

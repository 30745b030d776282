#!/usr/bin/env bash
# Smoke test of the dialog program on a private X server: the window as template 102 lays it
# out, one Query against the camera simulator typed and clicked as a user would, Enter that
# closes nothing, the quit question answered No, a Query of a camera that trickles its reply
# (bounded, the window painting and deaf meanwhile, the window manager's close then answered
# after the Query's message), then the quit question answered Yes.
#
#   scripts/xvfb-smoke.sh TILTWISE TILTWISE_CAMSIM ARTIFACT_DIR
#
# The program is watched two ways: from outside (xdotool for the window, screenshots for what
# is painted) and through its layout file (TILTWISE_DUMP_LAYOUT, blocks written when the
# dialog is shown, after each command, while a message box is up, and when it is destroyed).
# Writes ARTIFACT_DIR/tiltwise-linux.png (the dialog after the Query; -set, -error and -confirm:
# with the Set outcome, the trickling Query's error and the quit question over it). Exit 0:
# passed; 1: a check failed (logs printed and kept in ARTIFACT_DIR/xvfb-smoke-failure); 77: Xvfb,
# xdotool, ImageMagick or python3 is missing. Every wait is bounded; only loopback is used.
set -uo pipefail

if [[ $# -ne 3 ]]; then
  echo "usage: $0 TILTWISE TILTWISE_CAMSIM ARTIFACT_DIR" >&2
  exit 2
fi
tiltwise=$1
camsim=$2
artifacts=$3

for tool in Xvfb xdotool import convert timeout awk python3; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIP: $tool is not installed"
    exit 77
  fi
done

# A sanitizer build of the program: the X libraries' own lifetime caches are not leaks of ours.
here=$(dirname "$0")
# shellcheck source=scripts/children.sh
. "$here/children.sh"
export LSAN_OPTIONS="suppressions=$here/lsan-x11.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

mkdir -p "$artifacts" || exit 1
work=$(mktemp -d "${TMPDIR:-/tmp}/tiltwise-smoke.XXXXXX") || exit 1
layout=$work/layout
pids=()

cleanup() {
  local pid
  for pid in "${pids[@]}"; do stop_child "$pid"; done
  rm -rf "$work"
}
trap cleanup EXIT

# The last complete block of the layout file, and parts of it.
last_block() {
  awk '/^layout /{b=""} {b=b $0 "\n"} /^end$/{last=b} END{printf "%s", last}' "$layout" 2>/dev/null
}
last_event() { last_block | sed -n '1s/^layout [0-9]* //p'; }
last_seq() { last_block | sed -n '1s/^layout \([0-9]*\) .*/\1/p'; }
control_line() { last_block | grep -m1 "^control id=$1 "; }
control_field() {  # ID NAME: a field after the text, e.g. rect, check, font
  control_line "$1" | sed -n "s/.* $2=\([^ ]*\).*/\1/p"
}
# Functions, not expansions, for wait_for: they must be read again on every try.
event_is() { [[ $(last_event) == "$1" ]]; }
event_after() { (($(last_seq) > $1)) && event_is "$2"; }
control_text() { control_line "$1" | sed -n 's/.* text="\(.*\)" rect=.*/\1/p'; }

fail() {
  echo "FAIL: $*"
  local keep=$artifacts/xvfb-smoke-failure
  rm -rf "$keep"
  mkdir -p "$keep"
  cp "$work"/*.log "$work"/*.png "$layout" "$keep"/ 2>/dev/null
  echo "--- last layout block"
  last_block
  for log in "$work"/*.log; do
    echo "--- $(basename "$log")"
    tail -n 20 "$log"
  done
  echo "(logs kept in $keep)"
  exit 1
}

wait_for() {  # SECONDS WHAT COMMAND...
  local deadline=$((SECONDS + $1)) what=$2
  shift 2
  until "$@"; do
    ((SECONDS < deadline)) || fail "no $what within ${deadline}s"
    sleep 0.1
  done
}

xdo() { timeout 10 xdotool "$@" || fail "xdotool $* failed"; }

# MulDiv as the dialog manager rounds it, for the non-negative values of a template.
muldiv() { echo $((($1 * $2 * 2 + $3) / ($3 * 2))); }

# ---- No display: a clear message and exit code 1, not a crash.
out=$(env -u DISPLAY timeout 10 "$tiltwise" 2>&1)
rc=$?
[[ $rc -eq 1 ]] || fail "without a display the program ended with $rc, not 1 ($out)"
[[ $out == "tiltwise: no display (set DISPLAY)" ]] ||
  fail "without a display the program said: $out"

# ---- A private X server on a display it picks itself.
start_xvfb "$work" 300 1024x768x24 || fail "no X server"
pids+=("$XVFB_PID")

# ---- The camera: Flip 1, Mirror 0, on a free loopback port.
timeout 300 "$camsim" --port 0 --flip 1 --mirror 0 >"$work/camsim.log" 2>&1 &
pids+=($!)
wait_for 10 "camera simulator" grep -q '^listening on 127\.0\.0\.1:[0-9]*$' "$work/camsim.log"
port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/camsim.log")

# ---- The program, as a user starts it (no arguments).
TILTWISE_DUMP_LAYOUT=$layout timeout 300 "$tiltwise" >"$work/tiltwise.log" 2>&1 &
tw=$!
pids+=("$tw")
wid=$(timeout 20 xdotool search --sync --name '^Tiltwise$' | head -n1)
[[ -n $wid ]] || fail "no window titled Tiltwise"
[[ $(xdo getwindowname "$wid") == "Tiltwise" ]] || fail "window title is not Tiltwise"
wait_for 10 "layout block for the shown dialog" event_is shown
eval "$(xdo getwindowgeometry --shell "$wid")"  # X Y WIDTH HEIGHT of the client area

# ---- The window against the template.
dialog=$(last_block | grep -m1 '^dialog ')
[[ $dialog == 'dialog caption="Tiltwise" '* ]] || fail "no Tiltwise dialog in the layout"
units=$(sed -n 's/.* units=\([0-9]*,[0-9]*\).*/\1/p' <<<"$dialog")
ux=${units%,*}
uy=${units#*,}
# The face standing in for MS Sans Serif 10 pt (7 x 16 on the system) must be of its size.
((ux >= 5 && ux <= 10 && uy >= 12 && uy <= 20)) || fail "dialog units $ux x $uy are implausible"
want_w=$(muldiv 424 "$ux" 4)
want_h=$(muldiv 189 "$uy" 8)
((WIDTH >= want_w - 2 && WIDTH <= want_w + 2 && HEIGHT >= want_h - 2 && HEIGHT <= want_h + 2)) ||
  fail "window is ${WIDTH}x${HEIGHT}, the template converted is ${want_w}x${want_h}"
[[ $dialog == *" focus=1000"* ]] || fail "the camera address box does not start with the focus"

# id|kind|text|x|y|cx|cy in tab order; edit boxes' texts are checked below.
template=(
  "1010|push button|Set|326|129|83|18"
  "1000|edit box||158|19|143|14"
  "1001|edit box||158|37|143|14"
  "1002|edit box||158|56|143|14"
  "1006|push button|Query|359|19|50|14"
  "2|push button|Close|367|168|50|14"
  "-1|label|Camera IP:|113|21|37|8"
  "-1|label|User name:|112|40|38|8"
  "-1|label|Password:|116|59|34|8"
  "-1|group box|Camera Info|7|7|410|97"
  "-1|group box|Camera PTZ Control|7|116|410|42"
  "1017|automatic check box|Flip|118|135|27|10"
  "1018|automatic check box|Mirror|174|135|34|10"
  "-1|label|HTTP Port:|86|77|64|8"
  "1003|edit box||158|74|143|14"
)
mapfile -t controls < <(last_block | grep '^control ')
((${#controls[@]} == ${#template[@]})) ||
  fail "${#controls[@]} controls in the layout, the template has ${#template[@]}"
for i in "${!template[@]}"; do
  IFS='|' read -r id kind text x y cx cy <<<"${template[$i]}"
  line=${controls[$i]}
  [[ $line == "control id=$id kind=\"$kind\" "* ]] || fail "control $((i + 1)) is not $id $kind: $line"
  [[ $kind == "edit box" || $line == *" text=\"$text\" "* ]] || fail "control $id text: $line"
  left=$(muldiv "$x" "$ux" 4)
  top=$(muldiv "$y" "$uy" 8)
  rect="$left,$top,$((left + $(muldiv "$cx" "$ux" 4))),$((top + $(muldiv "$cy" "$uy" 8)))"
  [[ $line == *" rect=$rect "* ]] || fail "control $((i + 1)) ($id) is not at $rect: $line"
done

# A fresh start: the defaults, the password hidden, both boxes clear.
[[ $(control_text 1001) == admin ]] || fail "user name is not admin"
[[ $(control_text 1002) == "********" ]] || fail "password box does not show eight hidden characters"
[[ $(control_text 1003) == 80 ]] || fail "port is not 80"
[[ $(control_field 1017 check) == 0 && $(control_field 1018 check) == 0 ]] || fail "a box starts ticked"
# Only the Set button is enlarged.
set_font=$(control_field 1010 font)
while read -r f; do
  ((${f#-} < ${set_font#-})) || fail "a control's font ($f) is not smaller than the Set button's ($set_font)"
done < <(last_block | grep '^control ' | grep -v '^control id=1010 ' | sed -n 's/.* font=\(-\?[0-9]*\)$/\1/p')

# ---- What is painted: edit boxes white inside, where the layout says they are.
timeout 20 import -window root "$work/start.png" || fail "no screenshot"
pixel() {  # FILE X Y -> r,g,b
  convert "$1" -format '%[fx:int(255*p{'"$2,$3"'}.r)],%[fx:int(255*p{'"$2,$3"'}.g)],%[fx:int(255*p{'"$2,$3"'}.b)]' info:
}
for id in 1000 1001 1002 1003; do
  IFS=, read -r l t r b <<<"$(control_field "$id" rect)"
  [[ $(pixel "$work/start.png" $((X + r - 6)) $((Y + (t + b) / 2))) == 255,255,255 ]] ||
    fail "edit box $id is not painted at $l,$t,$r,$b"
done
[[ $(pixel "$work/start.png" $((X + 3)) $((Y + 3))) != 255,255,255 ]] || fail "dialog background is white"

centre() {  # ID -> "x y" in the window
  local l t r b
  IFS=, read -r l t r b <<<"$(control_field "$1" rect)"
  echo "$(((l + r) / 2)) $(((t + b) / 2))"
}
click() {
  local at
  read -ra at <<<"$(centre "$1")"
  xdo mousemove --window "$wid" "${at[@]}" click 1
}

# ---- Type the address: click into the box, select all, type.
xdo windowfocus "$wid"
click 1000
xdo key --clearmodifiers ctrl+a
xdo type --delay 20 127.0.0.1
# Enter in a box neither closes the dialog nor runs anything.
xdo key Return
wait_for 10 "block after Enter" event_is "command 1"
last_block | grep -q '^message ' && fail "Enter showed a message box"
# Tab follows the template order: from the address box seven steps reach the port box.
for _ in 1 2 3 4 5 6 7; do xdo key Tab; done
xdo type --delay 20 "$port"
click 1006

wait_for 15 "getmotorrange request at the simulator" \
  grep -q ' GET /param.cgi?cmd=getmotorrange 200$' "$work/camsim.log"
wait_for 10 "block after Query" event_is "command 1006"
last_block | grep '^message ' && fail "Query showed a message box"
[[ $(control_text 1000) == 127.0.0.1 ]] || fail "address box holds '$(control_text 1000)'"
[[ $(control_text 1003) == "$port" ]] || fail "port box holds '$(control_text 1003)' (Tab order?)"
[[ $(control_field 1017 check) == 1 ]] || fail "Flip is not ticked after the Query"
[[ $(control_field 1018 check) == 0 ]] || fail "Mirror is ticked after the Query"

# The ticks on the screen: the Flip box's square now holds dark pixels the Mirror box's lacks.
xdo mousemove 0 0  # keep the pointer out of the picture
sleep 0.3
timeout 20 import -window root "$work/query.png" || fail "no screenshot"
convert "$work/query.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$artifacts/tiltwise-linux.png" ||
  fail "cannot write the screenshot"
darkness() {  # FILE ID: share of dark pixels in the square at the left of a check box
  local l t r b
  IFS=, read -r l t r b <<<"$(control_field "$2" rect)"
  convert "$1" -crop "$((b - t))x$((b - t))+$((X + l))+$((Y + t))" +repage -colorspace gray \
    -threshold 40% -negate -format '%[fx:int(1000*mean)]' info:
}
flip_before=$(darkness "$work/start.png" 1017)
flip_after=$(darkness "$work/query.png" 1017)
mirror_after=$(darkness "$work/query.png" 1018)
((flip_after > mirror_after + 20 && flip_after > flip_before + 20)) ||
  fail "no tick painted in Flip (dark per mille: before $flip_before, after $flip_after, Mirror $mirror_after)"

# ---- Tick Mirror and Set: the camera gets both, the wait cursor comes and goes around the
# exchange, and the outcome is a plain message box that Enter closes.
click 1018
wait_for 10 "block after ticking Mirror" event_is "command 1018"
[[ $(control_field 1018 check) == 1 ]] || fail "a click did not tick Mirror"
click 1010
wait_for 15 "Set outcome" event_is message
last_block | grep -qx 'message caption="Info" text="Set success, camera rebooting." style=0' ||
  fail "Set did not report success"
grep -q ' GET /param.cgi?cmd=setmotorrange&-flip=1&-mirror=1 200$' "$work/camsim.log" ||
  fail "the camera did not get flip 1 and mirror 1"
timeout 20 import -window root "$work/set.png" && convert "$work/set.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" \
  +repage "$artifacts/tiltwise-linux-set.png"
xdo key Return
wait_for 10 "block after Set" event_is "command 1010"

# ---- Escape asks; No keeps the dialog and its fields.
xdo windowfocus "$wid"
xdo key Escape
wait_for 10 "quit question" event_is message
last_block | grep -qx 'message caption="Confirm" text="Are you sure to quit?" style=4' ||
  fail "not the quit question"
confirm=$(timeout 10 xdotool search --sync --name '^Confirm$' | head -n1)
[[ -n $confirm ]] || fail "no window titled Confirm"
timeout 20 import -window root "$work/confirm.png" && convert "$work/confirm.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" \
  +repage "$artifacts/tiltwise-linux-confirm.png"
xdo key Tab Return  # from Yes to No
wait_for 10 "block after No" event_is "command 2"
kill -0 "$tw" 2>/dev/null || fail "the program ended although the answer was No"
[[ $(control_text 1000) == 127.0.0.1 && $(control_field 1017 check) == 1 ]] ||
  fail "fields changed after No"

# ---- A camera that trickles its reply a byte a second: the Query is bounded, and meanwhile the
# window repaints (unmapped and mapped again, it must draw itself anew) and takes no input; the
# window manager's close meanwhile is answered once the Query's message is.
timeout 300 "$camsim" --port 0 --fault @0:trickle >"$work/trickle.log" 2>&1 &
pids+=($!)
wait_for 10 "trickling camera" grep -q '^listening on 127\.0\.0\.1:[0-9]*$' "$work/trickle.log"
slow_port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/trickle.log")
click 1003
xdo key --clearmodifiers ctrl+a
xdo type --delay 20 "$slow_port"
seq=$(last_seq)
pressed=$SECONDS
click 1006
wait_for 10 "request at the trickling camera" grep -q ' GET /qx.html ' "$work/trickle.log"
sleep 1
click 1010  # Set, and typing in the address box: both must come to nothing
click 1000
xdo type --delay 20 x
# The window manager's close: put off until the Query's message has been answered.
python3 "$here/wm-close.py" "$wid" || fail "could not ask the window to close"
xdo windowunmap "$wid"
xdo windowmap "$wid"
sleep 1
timeout 20 import -window root "$work/busy.png" || fail "no screenshot"
for id in 1000 1001 1002 1003; do
  IFS=, read -r l t r b <<<"$(control_field "$id" rect)"
  [[ $(pixel "$work/busy.png" $((X + r - 6)) $((Y + (t + b) / 2))) == 255,255,255 ]] ||
    fail "during the exchange edit box $id is not painted again"
done
[[ $(last_seq) == "$seq" ]] || fail "something ran while the exchange went on: $(last_event)"
wait_for 35 "outcome of the trickling Query" event_is message
took=$((SECONDS - pressed))
((took <= 30)) || fail "the Query held the window ${took}s"
last_block | grep -qx 'message caption="Error" text="Failed to query camera info" style=16' ||
  fail "the trickling Query did not fail as it should"
timeout 20 import -window root "$work/error.png" && convert "$work/error.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" \
  +repage "$artifacts/tiltwise-linux-error.png"
seq=$(last_seq)
xdo key Return
wait_for 10 "the quit question of the close during the Query" event_after "$seq" message
last_block | grep -qx 'message caption="Confirm" text="Are you sure to quit?" style=4' ||
  fail "after the Query's message came no quit question"
xdo key Tab Return  # No
wait_for 10 "block after the trickling Query" event_is "command 1006"
kill -0 "$tw" 2>/dev/null || fail "the program ended although the answer was No"
[[ $(control_text 1000) == 127.0.0.1 ]] || fail "typing during the exchange reached the address box"
grep -q 'setmotorrange' "$work/trickle.log" && fail "a click during the exchange sent a Set"

# ---- The Close button asks again; Yes (Enter) ends the program with 0.
seq=$(last_seq)
click 2
wait_for 10 "second quit question" event_after "$seq" message
xdo key Return
wait_for 10 "program to end" ended "$tw"
wait "$tw"
rc=$?
[[ $rc -eq 0 ]] || fail "the program ended with $rc"
if [[ $(last_event) != destroy ]] || last_block | grep -q '^dialog '; then
  fail "the last layout block does not show the dialog destroyed"
fi
echo "PASS: window ${WIDTH}x${HEIGHT} (units $ux x $uy); Query ticked Flip only (dark per mille in"\
  "the squares: Flip $flip_before -> $flip_after, Mirror $mirror_after); quit with Yes;"\
  "screenshot $artifacts/tiltwise-linux.png"

#!/usr/bin/env bash
# Closing the window while the catalogue answer has stalled: the process must
# end by itself within 5 s with status 0, and the manager must start again.
set -euo pipefail
app=$1
source "$(dirname "$0")/common.sh"
build=$(dirname "$app")
shots=${SCREENSHOTS:-$build/screenshots}
mkdir -p "$shots"

/usr/bin/python3 "$root/tools/standin/server.py" --port $port --content "$build/standin-content" > "$HOME/server.log" 2>&1 &
pids+=($!)
wait_for '(exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null' 50 || fail "stand-in did not start"
# The catalogue sends half its answer, then nothing for a minute.
/usr/bin/python3 - "$root/tools/standin" "$port" <<'PY'
import json, sys, urllib.request
sys.path.insert(0, sys.argv[1])
import protocol
body = json.dumps({"faults": {protocol.CATALOGUE_PATH: {"stall": 60000}}}).encode()
urllib.request.urlopen("http://127.0.0.1:%s/__standin/fault" % sys.argv[2], body).read()
PY
prepare_display

"$app" &
app_pid=$!
pids+=($app_pid)
wait_for '[ "$(window_count)" -eq 1 ]' 150 || fail "no window"
sleep 1
eval "$(xdotool search --name "$title" getwindowgeometry --shell | head -5)"
click() { xdotool mousemove $((X + $1)) $((Y + $2)) click 1; sleep 0.3; }

click 462 318; xdotool type --delay 10 "demo@quillotone.test"
click 462 348; xdotool type --delay 10 "quillotone"
click 449 416
sleep 2.5
import -window root -crop 900x700+$X+$Y "$shots/stalled-sync.png"

started=$(date +%s%N)
[ "$(/usr/bin/python3 "$here/xwindow.py" close "$title")" = "1" ] || fail "could not ask the window to close"
wait_for '! kill -0 $app_pid 2>/dev/null' 50 || fail "the app did not end within 5 s of the close"
status=0
wait $app_pid || status=$?
elapsed=$(( ($(date +%s%N) - started) / 1000000 ))
[ "$status" -eq 0 ] || fail "the app exited with status $status"

# The single-instance lock went with it: a new start gets a window.
"$app" &
again=$!
pids+=($again)
wait_for '[ "$(window_count)" -eq 1 ]' 150 || fail "the second start shows no window"
/usr/bin/python3 "$here/xwindow.py" close "$title" >/dev/null
wait_for '! kill -0 $again 2>/dev/null' 100 || fail "the second start did not quit"
echo "close during a stalled sync: OK (ended ${elapsed} ms after the close)"

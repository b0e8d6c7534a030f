#!/usr/bin/env bash
# Closing the window while the catalogue answer has stalled: the process must
# end by itself within 5 s with status 0, and the manager must start again.
set -euo pipefail
source "$(dirname "$0")/common.sh"

start_standin
# The catalogue sends half its answer, then nothing for a minute.
set_fault catalogue '{"stall": 60000}'
prepare_display
start_app
log_in demo@quillotone.test
sleep 2.5
shot stalled-sync

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

#!/usr/bin/env bash
# The real app under Xvfb: one fixed 900x700 window, a second start adds no
# window and exits, and closing the window ends the process.
set -euo pipefail
source "$(dirname "$0")/common.sh"

prepare_display
"$app" &
pid=$!
pids+=($pid)

wait_for '[ "$(window_count)" -eq 1 ]' 150 || fail "no window appeared"
geometry=$(/usr/bin/python3 "$here/xwindow.py" list "$title" | awk '{print $2}')
[ "$geometry" = "900x700" ] || fail "window is $geometry, not 900x700"

# A second start, with arguments that must change nothing, hands over and exits.
timeout 20 "$app" --some-option file.txt || fail "second instance did not exit cleanly"
sleep 0.5
[ "$(window_count)" -eq 1 ] || fail "second start changed the window count"
kill -0 $pid || fail "first instance died"

[ "$(/usr/bin/python3 "$here/xwindow.py" close "$title")" = "1" ] || fail "could not ask the window to close"
wait_for '! kill -0 $pid 2>/dev/null' 100 || fail "process still running after close"
wait $pid || fail "app exited with an error"
echo "app shell: OK"

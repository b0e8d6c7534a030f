#!/usr/bin/env bash
# The Linux build logs in with the demo account, driven like the Windows run
# under Wine; prints the milliseconds from the Log In click to the first row.
# Usage: login_to_rows.sh LINUX-APP PORT (under a display)
set -euo pipefail
source "$(dirname "$0")/../e2e/common.sh"

start_standin
prepare_display

# The framework allows one instance per machine (its lock is in /var/tmp,
# whatever HOME says): where another run's app holds it, ours quits at once,
# so wait for it rather than fail.
for _ in $(seq 1 12); do
    "$app" &
    app_pid=$!
    pids+=($app_pid)
    wait_for '[ "$(window_count)" -ge 1 ] || ! kill -0 $app_pid 2>/dev/null' 200
    [ "$(window_count)" -ge 1 ] && break
    sleep 5
done
[ "$(window_count)" -ge 1 ] || fail "no window"
sleep 1
eval "$(xdotool search --name "$title" getwindowgeometry --shell | head -5)"

click 462 318; xdotool type --delay 10 demo@quillotone.test
click 462 348; xdotool type --delay 10 quillotone
sleep 0.5
ms=$(/usr/bin/python3 "$here/xwindow.py" time-to-colour $((X + 449)) $((Y + 416)) $((X + 295)) $((Y + 160)) 60) \
    || fail "no rows within 60 s of the Log In click"
sleep 0.5
shot purchases-linux

/usr/bin/python3 "$here/xwindow.py" close "$title" >/dev/null
wait_for '! kill -0 $app_pid 2>/dev/null' 100 || fail "the app did not quit"
echo "$ms"

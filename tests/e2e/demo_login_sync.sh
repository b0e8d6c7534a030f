#!/usr/bin/env bash
# The real app against the stand-in: log in with the demo account, let the
# catalogue sync run, and check what it left on disk; screenshots of every
# page go to $SCREENSHOTS (default: a folder beside the app).
set -euo pipefail
source "$(dirname "$0")/common.sh"

start_standin
prepare_display
start_app

shot login
log_in demo@quillotone.test
sleep 0.4
shot syncing

# The tool the build made and the stand-in serves, byte for byte.
wait_for tool_fetched 300 || fail "the sync did not fetch the extraction tool"
sleep 2
shot purchases
[ "$(ls "$cache/Thumbnails" | wc -l)" -eq 11 ] || fail "expected 11 thumbnails, found $(ls "$cache/Thumbnails" | wc -l)"
[ -f "$cache/settings.qvs" ] || fail "no settings file"

click 100 192; sleep 0.5; shot demo
click 100 244; sleep 0.5; shot settings
click 100 296; sleep 0.5; shot support
click 100 140; sleep 0.5

kill -0 $app_pid || fail "the app died"
/usr/bin/python3 "$here/xwindow.py" close "Quillotone Plugin Manager" >/dev/null
wait_for '! kill -0 $app_pid 2>/dev/null' 100 || fail "the app did not quit"
echo "demo login and sync: OK (screenshots in $shots)"

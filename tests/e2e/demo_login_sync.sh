#!/usr/bin/env bash
# The real app against the stand-in: log in with the demo account, let the
# catalogue sync run, and check what it left on disk; screenshots of every
# page go to $SCREENSHOTS (default: a folder beside the app).
set -euo pipefail
app=$1
source "$(dirname "$0")/common.sh"
build=$(dirname "$app")
shots=${SCREENSHOTS:-$build/screenshots}
mkdir -p "$shots"

/usr/bin/python3 "$root/tools/standin/server.py" --port $port --content "$build/standin-content" > "$HOME/server.log" 2>&1 &
pids+=($!)
wait_for '(exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null' 50 || fail "stand-in did not start"
prepare_display

"$app" &
app_pid=$!
pids+=($app_pid)
wait_for '[ -n "$(xdotool search --name "Quillotone Plugin Manager" 2>/dev/null)" ]' 100 || fail "no window"
sleep 1
eval "$(xdotool search --name "Quillotone Plugin Manager" getwindowgeometry --shell | head -5)"
shot() { import -window root -crop 900x700+$X+$Y "$shots/$1.png"; }
click() { xdotool mousemove $((X + $1)) $((Y + $2)) click 1; sleep 0.3; }

shot login
click 462 318; xdotool type --delay 10 "demo@quillotone.test"
click 462 348; xdotool type --delay 10 "quillotone"
click 449 416
sleep 0.4
shot syncing

cache="$HOME/Documents/Quillotone/Temp/PluginManagerCache"
# The tool the build made and the stand-in serves, byte for byte.
wait_for 'cmp -s "$cache/Utils/quillex" "$build/standin-content/plugin-manager/utils/linux/quillex"' 300 ||
    fail "the sync did not fetch the extraction tool"
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

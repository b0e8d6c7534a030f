#!/usr/bin/env bash
# Two owned products with a CLAP plugin installed whose start-up code crashes
# (Big Room Verb, with a recorded version) and hangs (Tape Halo). The real app
# lists both, stays responsive while the hanging one is probed, and uninstalls
# both. Screenshots go to $SCREENSHOTS (default: a folder beside the app).
set -euo pipefail
source "$(dirname "$0")/common.sh"

clap=$HOME/.clap
mkdir -p "$clap" "$HOME/Documents/Quillotone/Settings"
cp "$build/fixtures/clap/init-crashes.clap" "$clap/BigRoomVerb.clap"
cp "$build/fixtures/clap/init-hangs.clap" "$clap/TapeHalo.clap"
printf '<?xml version="1.0" encoding="UTF-8"?>\n<SETTINGS PluginManagerInstalledVersion="1.1.0"/>\n' \
    > "$HOME/Documents/Quillotone/Settings/BigRoomVerb.qvs"

start_standin
prepare_display
start_app
log_in demo@quillotone.test

wait_for tool_fetched 300 || fail "the sync did not finish"
sleep 1.5
shot clap-faults-listed

# The hanging plugin's child is still running; the window answers anyway.
pgrep -f -- "--probe-clap-version $clap/TapeHalo.clap" > /dev/null || fail "no probe of the hanging plugin is running"

uninstall_row() { # row index: its uninstall button, then the dialog's confirm button
    click 817 $((208 + 150 * $1))
    sleep 0.4
    click 627 423
}

search_for "Tape Halo"
uninstall_row 0
wait_for '[ ! -e "$clap/TapeHalo.clap" ]' 50 || fail "Tape Halo was not uninstalled while its probe ran"
search_for "Big Room"
uninstall_row 0
wait_for '[ ! -e "$clap/BigRoomVerb.clap" ]' 50 || fail "Big Room Verb was not uninstalled"

# Past the hanging probe's time-out: its child is gone and the app is fine.
wait_for '! pgrep -f -- "--probe-clap-version" > /dev/null' 100 || fail "a probe child outlived its time-out"
kill -0 $app_pid || fail "the app died"
shot clap-faults-uninstalled

/usr/bin/python3 "$here/xwindow.py" close "$title" >/dev/null
wait_for '! kill -0 $app_pid 2>/dev/null' 100 || fail "the app did not quit"
echo "crashing and hanging CLAP plugins: OK (screenshots in $shots)"

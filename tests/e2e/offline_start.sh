#!/usr/bin/env bash
# Starting without the servers: log in with the login remembered, install a
# product and quit; stop the stand-in and start again: "Work Offline" shows
# the rows of the last sync with their versions, uninstall works and install
# asks for the servers; start the stand-in and Sync: online again with the
# same rows. Log Out forgets the kept catalogue. Screenshots of every step go
# to $SCREENSHOTS (default: beside the app).
set -euo pipefail
source "$(dirname "$0")/common.sh"

list_shot() {   # name: the purchases list alone, with no row under the mouse
    xdotool mousemove $((X + 100)) $((Y + 600))
    sleep 0.3
    import -window root -crop 680x580+$((X + 220))+$((Y + 88)) "$shots/offline-$1-list.png"
}
# Thumbnails may differ by a shade in a few pixels from one scaling to the next.
same_list() { [ "$(compare -metric AE -fuzz 3% "$shots/offline-$1-list.png" "$shots/offline-$2-list.png" null: 2>&1)" = "0" ]; }
footer_width() {   # how far the footer's status text reaches, in pixels
    import -window root -crop 400x28+$((X + 10))+$((Y + 671)) png:- | convert - -threshold 50% -trim -format '%w' info:
}
within_seconds() {   # seconds, condition: polls it until that time has passed
    local end=$(( $(date +%s%N) + $1 * 1000000000 ))
    until eval "$2"; do
        [ "$(date +%s%N)" -lt "$end" ] || return 1
        sleep 0.2
    done
}
quit_app() {
    /usr/bin/python3 "$here/xwindow.py" close "$title" >/dev/null
    wait_for '! kill -0 $app_pid 2>/dev/null' 100 || fail "the app did not quit"
}
kept() { ls "$private/Catalogues" 2>/dev/null | grep -c '\.catalogue$' || true; }

start_standin
standin_pid=${pids[-1]}
prepare_display
start_app

#------------------------------------------------------------------------------
# Online: remembered login, sync, one product installed.
click 380 376       # remember the login
signed_in demo@quillotone.test
click 817 173       # Big Room Verb, first by name
for target in $(plugins_of BigRoomVerb); do
    wait_for "[ -e '$target' ]" 200 || fail "install did not place $target"
done
sleep 1.5
list_shot online
shot offline-online
[ "$(footer_width)" -lt 120 ] || fail "the footer does not read Connected"
[ "$(kept)" -eq 1 ] || fail "the sync kept no catalogue: $(ls "$private/Catalogues" 2>&1)"
quit_app

#------------------------------------------------------------------------------
# Offline: the stand-in is gone; the remembered login fails and offers the kept rows.
kill "$standin_pid"
wait_for '! (exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null' 50 || fail "the stand-in did not stop"
start_app
wait_for dialog_up 100 || fail "no failure dialog at start"
shot offline-failure-dialog
xdotool key Return
within_seconds 10 'list_shot offline && same_list offline online' || fail "the kept rows were not shown within 10 s"
dialog_up && fail "a dialog over the kept rows"
[ "$(footer_width)" -gt 150 ] || fail "the footer does not read Offline with the date of the last sync"
shot offline

# Install needs the servers: one dialog, nothing fetched.
installers=$(ls -l --time-style=full-iso "$private/Installers")
click 817 173
sleep 0.5
dialog_up || fail "no dialog for an install offline"
shot offline-install-refused
xdotool key Return
sleep 0.5
dialog_up && fail "more than one dialog for an install offline"
[ "$(ls -l --time-style=full-iso "$private/Installers")" = "$installers" ] || fail "an install offline touched the downloads"

# Uninstall works.
click 817 208
sleep 0.5
click 627 423
for target in $(plugins_of BigRoomVerb); do
    wait_for "[ ! -e '$target' ]" 100 || fail "uninstall offline left $target"
done
sleep 1
list_shot offline-uninstalled
shot offline-uninstalled
dialog_up && fail "a dialog after the uninstall offline"

#------------------------------------------------------------------------------
# The stand-in is back: Sync logs in with the remembered login and syncs.
start_standin
click 856 25
within_seconds 30 '[ "$(footer_width)" -lt 120 ] && list_shot online-again && same_list online-again offline-uninstalled' \
    || fail "Sync did not bring the same rows back online"
dialog_up && fail "a dialog after going online again"
shot offline-online-again

# Log Out forgets the kept catalogue.
click 100 348
sleep 0.5
click 627 423
wait_for '! kill -0 $app_pid 2>/dev/null' 100 || fail "Log Out did not quit"
[ "$(kept)" -eq 0 ] || fail "Log Out left the kept catalogue"
echo "offline start: OK (screenshots in $shots)"

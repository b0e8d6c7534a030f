#!/usr/bin/env bash
# The manager with the keyboard alone: log in, install a product and
# uninstall it, switch a format off and on again in Settings, log out.
# xdotool only types and presses keys here; it never clicks. Screenshots of
# the focus outline on a row button and on a settings field go to
# $SCREENSHOTS (default: beside the app).
set -euo pipefail
source "$(dirname "$0")/common.sh"

start_standin
sleep 0.5
kill -0 "${pids[-1]}" 2>/dev/null || fail "the stand-in's port is taken by another server"
prepare_display
start_app
xdotool windowfocus "$(xdotool search --name "$title" | head -1)"
sleep 1

press() { xdotool key --delay 150 "$@"; sleep 0.4; }
tabs() {   # count [shift]: Tab or Shift+Tab so many times
    local i
    for ((i = 0; i < $1; i++)); do xdotool key ${2:+shift+}Tab; sleep 0.1; done
    sleep 0.4
}
setting() { grep -o "Install$1=\"[01]\"" "$cache/settings.qvs"; }

#------------------------------------------------------------------------------
# The e-mail field has the keyboard at start; Return in the password logs in.
xdotool type --delay 10 demo@quillotone.test
press Tab
xdotool type --delay 10 quillotone
shot keyboard-login
press Return
wait_for tool_fetched 300 || fail "the sync did not fetch the extraction tool"
sleep 2

# After the login the side menu's first entry has the keyboard. Then come
# Demo, Settings, Support, Log Out, Install All, Uninstall All (Update All is
# off without updates), the search field, the sort box, Sync, and the rows
# in name order: Big Room Verb first.
tabs 10
shot keyboard-focus-row-button
press Return
for target in $(plugins_of BigRoomVerb); do
    wait_for "[ -e '$target' ]" 200 || fail "install did not place $target"
done
sleep 1
dialog_up && fail "a dialog after a good install"

# Its Uninstall button is next; the confirmation takes Return.
tabs 1
press Return
dialog_up || fail "no confirmation for the uninstall"
shot keyboard-uninstall-confirm
press Return
for target in $(plugins_of BigRoomVerb); do
    wait_for "[ ! -e '$target' ]" 100 || fail "uninstall left $target"
done
sleep 1

#------------------------------------------------------------------------------
# Back from the row's Install button to the menu's Settings entry: Sync, the
# sort box, the search field, Uninstall All, Install All, Log Out, Support.
tabs 8 shift
press Return
tabs 3                  # Support, Log Out, the VST2 toggle
[ "$(setting VST2)" = 'InstallVST2="1"' ] || fail "VST2 is not on at the start"
press space
wait_for '[ "$(setting VST2)" = "InstallVST2=\"0\"" ]' 30 || fail "Space did not switch VST2 off"
press space
wait_for '[ "$(setting VST2)" = "InstallVST2=\"1\"" ]' 30 || fail "Space did not switch VST2 on again"

# The other toggles and the cache buttons, then the VST2 folder field.
tabs 7
shot keyboard-focus-settings-field

#------------------------------------------------------------------------------
# Log Out, eight steps back, and its confirmation: the manager quits.
tabs 8 shift
press Return
dialog_up || fail "no confirmation for Log Out"
press Return
wait_for '! kill -0 $app_pid 2>/dev/null' 100 || fail "the app did not quit after Log Out"
echo "keyboard only: log in, install, uninstall, settings, log out: OK (screenshots in $shots)"

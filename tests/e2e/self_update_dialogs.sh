#!/usr/bin/env bash
# The manager's own update in the real app, with the stand-in announcing a
# newer version: the offer comes over the login window, an accepted update
# shows its progress and cancels without a trace, and a download that does
# not match the manifest ends with the failure dialog and no trace either.
# Screenshots of each. (The hand-over itself: self_update.sh.)
set -euo pipefail
source "$(dirname "$0")/common.sh"

# A copy of its own: the staging folder goes beside the executable.
install=$HOME/install
mkdir -p "$install"
cp "$app" "$install/"
app="$install/$(basename "$app")"
staged() { ls -d "$install"/.quillotone-manager-update-* 2>/dev/null | wc -l; }

# The dialog's card, its accent bar and its main button, in window coordinates.
pixel() { convert "$shots/$1.png" -format "%[pixel:p{$2,$3}]" info:; }
card_shown() { [ "$(pixel "$1" 400 260)" = "srgb(235,233,226)" ] && [ "$(pixel "$1" 214 275)" = "srgb(211,137,49)" ]; }
press_main_button() { click 627 423; }

start_standin --manager-update
set_fault /plugin-manager/1.3.0/QuillotonePluginManager-1.3.0-linux-update.AppImage '{"stall": 60000, "count": 1}'
prepare_display
start_app

# The first check runs 3 s after the start; the offer follows at once.
sleep 4.5
shot update-offer
card_shown update-offer || fail "no update offer"

# Accepted: half the payload arrives and the progress dialog shows 50 %.
press_main_button
sleep 1.5
shot update-progress
card_shown update-progress || fail "no progress dialog"
[ "$(staged)" -eq 1 ] || fail "expected one staging folder during the download"

# Cancelled while the server stalls: no dialog, no staging folder.
press_main_button
sleep 1
shot update-cancelled
card_shown update-cancelled && fail "a dialog is still shown after the cancel"
[ "$(staged)" -eq 0 ] || fail "the staging folder outlived the cancel"
[ "$(/usr/bin/python3 "$here/xwindow.py" close "$title")" = "1" ] || fail "could not ask the window to close"
wait_for '! kill -0 $app_pid 2>/dev/null' 100 || fail "the app did not quit"

# A second run downloads the whole payload, one byte changed on the way.
set_fault /plugin-manager/1.3.0/QuillotonePluginManager-1.3.0-linux-update.AppImage '{"flip": 100, "count": 1}'
start_app
sleep 4.5
press_main_button
wait_for '[ "$(staged)" -eq 0 ]' 100 || fail "the staging folder outlived the failure"
sleep 0.5
shot update-failed
card_shown update-failed || fail "no failure dialog"
[ "$(/usr/bin/python3 "$here/xwindow.py" close "$title")" = "1" ] || fail "could not ask the window to close"
wait_for '! kill -0 $app_pid 2>/dev/null' 100 || fail "the app did not quit"
echo "self-update dialogs: OK (screenshots in $shots)"

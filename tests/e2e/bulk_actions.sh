#!/usr/bin/env bash
# Install All, Update All and Uninstall All on the demo catalogue, as a user
# runs them: one product after another, STOP between them, demos left alone,
# presets and samples kept, and a window closed in the middle of Install All.
set -euo pipefail
source "$(dirname "$0")/common.sh"

owned="BigRoomVerb TapeHalo GlassComp OrbitDelay KV77 LittleClipper DrumFoundry"
demos="VelvetKeys SubEngine SpringTank AirShelf"
installed() { [ -e "$HOME/.vst3/$1.vst3" ]; }
confirm() { sleep 0.4; click 627 423; }

start_standin
prepare_display
start_app
signed_in demo@quillotone.test

#------------------------------------------------------------------------------
# STOP while the fourth product's download stalls: no further product starts.
set_fault /installers/OrbitDelay.zip '{"stall": 30000}'
click 275 25; confirm
wait_for 'installed GlassComp' 300 || fail "Install All did not go past the third product"
sleep 1.5
shot install-all-running
click 275 25
sleep 1
shot install-all-stopped
dialog_up && fail "a dialog after STOP"
for name in OrbitDelay KV77 LittleClipper DrumFoundry; do
    installed $name && fail "STOP let $name install"
done
[ -z "$(ls "$private/Installers" | grep -i orbit || true)" ] || fail "STOP left a partial archive"

#------------------------------------------------------------------------------
# Install All to the end: every owned product, no demo.
set_fault /installers/OrbitDelay.zip null
click 275 25; confirm
for name in $owned; do
    wait_for "installed $name" 300 || fail "Install All did not install $name"
done
sleep 1
shot install-all-done
for name in $demos; do
    installed $name && fail "Install All installed the demo $name"
done

#------------------------------------------------------------------------------
# One product out of date: Update All updates that one only.
before=$(stat -c %Y "$HOME/.vst/TapeHalo.dll")
"$root/tools/standin/publish-newer" --port $port > /dev/null
click 856 25
sleep 3
click 380 25; confirm
wait_for '[ "$(file_version "$HOME/.vst/BigRoomVerb.dll")" = "1.3.0.0" ]' 300 || fail "Update All did not update Big Room Verb"
sleep 1.5
shot update-all-done
[ "$(stat -c %Y "$HOME/.vst/TapeHalo.dll")" = "$before" ] || fail "Update All touched an up-to-date product"
[ -z "$(staging_names_in "$HOME/.vst" "$HOME/.vst3" "$HOME/.aax" "$HOME/.clap")" ] || fail "staging names left by Update All"

#------------------------------------------------------------------------------
# Uninstall All: every product goes; presets and samples stay.
click 485 25; confirm
for name in $owned; do
    wait_for "! installed $name" 300 || fail "Uninstall All left $name"
done
sleep 1
shot uninstall-all-done
[ -d "$HOME/Documents/Quillotone/Presets/BigRoomVerb" ] || fail "Uninstall All removed presets"
[ -f "$HOME/Documents/Quillotone/Samples/DrumFoundry/Kits/Kit 110 Hz.wav" ] || fail "Uninstall All removed samples"

#------------------------------------------------------------------------------
# The window closed in the middle of Install All.
set_fault /installers/GlassComp.zip '{"stall": 30000}'
click 275 25; confirm
wait_for 'installed TapeHalo' 300 || fail "Install All did not start again"
sleep 1
started=$(date +%s%N)
/usr/bin/python3 "$here/xwindow.py" close "$title" >/dev/null
wait_for '! kill -0 $app_pid 2>/dev/null' 100 || fail "the app did not end within 10 s of the close"
status=0
wait $app_pid || status=$?
[ "$status" -eq 0 ] || fail "the app exited with status $status"
[ -z "$(staging_names_in "$HOME/.vst" "$HOME/.vst3" "$HOME/.aax" "$HOME/.clap")" ] || fail "the close left something half placed"
echo "bulk actions: OK (closed in $(( ($(date +%s%N) - started) / 1000000 )) ms during Install All)"

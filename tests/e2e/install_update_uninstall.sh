#!/usr/bin/env bash
# The manager's main job, as a user does it: install a product (all four
# formats, presets, samples), update it when a newer release appears, see a
# failing download, a complaining extraction tool, a STOP during a download
# and a plugin that cannot be replaced, and uninstall it into the trash.
# Screenshots of every step go to $SCREENSHOTS (default: beside the app).
set -euo pipefail
source "$(dirname "$0")/common.sh"

start_standin
prepare_display
start_app
signed_in demo@quillotone.test

# Rows stand in name order: Big Room Verb, Drum Foundry, Glass Comp, KV-77...
row_button() { echo $((173 + 150 * $1)); }      # y of a row's install button on Purchases
dismiss() { click 627 423; sleep 0.3; }

#------------------------------------------------------------------------------
# Install: every format, the presets; the row shows the version.
click 817 "$(row_button 0)"
for target in $(plugins_of BigRoomVerb); do
    wait_for "[ -e '$target' ]" 200 || fail "install did not place $target"
done
wait_for '[ -f "$HOME/Documents/Quillotone/Presets/BigRoomVerb/Factory/Init.qpreset" ]' 50 || fail "no presets"
sleep 0.8
shot installed
[ "$(file_version "$HOME/.vst/BigRoomVerb.dll")" = "1.2.0.0" ] || fail "the placed VST2 is not 1.2.0"
[ -f "$HOME/.vst3/BigRoomVerb.vst3/Contents/x86_64-win/BigRoomVerb.vst3" ] || fail "the VST3 bundle is incomplete"
dialog_up && fail "a dialog after a good install"

# Samples, from a demo product whose installer brings them.
click 100 192; sleep 0.5
click 817 585      # Velvet Keys, fourth of the demos by name
wait_for '[ -f "$HOME/Documents/Quillotone/Samples/VelvetKeys/Kits/Kit 110 Hz.wav" ]' 200 || fail "no samples"
sleep 0.8
shot installed-samples
click 100 140; sleep 0.5

#------------------------------------------------------------------------------
# A newer release: Sync shows the update, Update swaps it in.
"$root/tools/standin/publish-newer" --port $port > /dev/null
click 856 25
sleep 3
shot update-offered
click 817 "$(row_button 0)"
wait_for '[ "$(file_version "$HOME/.vst/BigRoomVerb.dll")" = "1.3.0.0" ]' 200 || fail "update did not place 1.3.0"
sleep 0.8
shot updated
[ -z "$(staging_names_in "$HOME/.vst" "$HOME/.vst3" "$HOME/.aax" "$HOME/.clap")" ] || fail "staging names left by the update"
dialog_up && fail "a dialog after a good update"

#------------------------------------------------------------------------------
# A failing download: one "Download error", nothing placed.
set_fault /installers/DrumFoundry.zip '{"status": 500}'
click 817 "$(row_button 1)"
sleep 1.5
shot download-error
dialog_up || fail "no dialog for a failing download"
dismiss
dialog_up && fail "more than one dialog for one failing download"
[ ! -e "$HOME/.vst/DrumFoundry.dll" ] || fail "a failed download placed something"

# The extraction tool's complaint, shown as it said it.
set_fault /installers/GlassComp.zip '{"serve": "installers/not-an-installer.zip"}'
click 817 "$(row_button 2)"
sleep 1.5
shot tool-complaint
dialog_up || fail "no dialog for the tool's complaint"
dismiss
[ ! -e "$HOME/.vst/GlassComp.dll" ] || fail "a refused installer placed something"

# STOP while the download waits on a stalled server: no dialog, nothing left.
set_fault /installers/KV77.zip '{"stall": 30000}'
click 817 "$(row_button 3)"
sleep 1.2
click 817 "$(row_button 3)"
sleep 1
shot stopped-download
dialog_up && fail "a dialog after STOP"
[ -z "$(ls "$private/Installers" | grep -i kv77 || true)" ] || fail "STOP left a partial archive: $(ls "$private/Installers")"
[ ! -e "$HOME/.vst/KV77.dll" ] || fail "STOP placed something"

#------------------------------------------------------------------------------
# A plugin that cannot be moved aside keeps its old version.
if chattr +i "$HOME/.vst/BigRoomVerb.dll" 2>/dev/null; then
    click 817 "$(row_button 0)"
    sleep 2
    shot previous-version-kept
    chattr -i "$HOME/.vst/BigRoomVerb.dll"
    dialog_up || fail "no dialog when the old plugin could not be moved aside"
    dismiss
    [ "$(file_version "$HOME/.vst/BigRoomVerb.dll")" = "1.3.0.0" ] || fail "the kept plugin changed"
    [ -z "$(staging_names_in "$HOME/.vst")" ] || fail "staging names left after the refusal"
else
    echo "note: this file system cannot make a file immutable; the refused rename is covered by the unit tests"
fi

#------------------------------------------------------------------------------
# Uninstall: into the trash, with its info file; presets and samples stay.
click 817 $(( $(row_button 0) + 35 ))
sleep 0.5
shot uninstall-confirm
dismiss
for target in $(plugins_of BigRoomVerb); do
    wait_for "[ ! -e '$target' ]" 100 || fail "uninstall left $target"
done
trash="$HOME/.local/share/Trash"
[ -f "$trash/files/BigRoomVerb.dll" ] || fail "the VST2 is not in the trash"
[ -d "$trash/files/BigRoomVerb.vst3" ] || fail "the VST3 bundle is not in the trash"
grep -q '^Path=' "$trash/info/BigRoomVerb.dll.trashinfo" || fail "no trash info for the VST2"
[ -f "$HOME/Documents/Quillotone/Presets/BigRoomVerb/Factory/Init.qpreset" ] || fail "uninstall removed presets"
[ -f "$HOME/Documents/Quillotone/Samples/VelvetKeys/Kits/Kit 110 Hz.wav" ] || fail "samples were touched"
sleep 0.8
shot uninstalled

kill -0 $app_pid || fail "the app died"
/usr/bin/python3 "$here/xwindow.py" close "$title" >/dev/null
wait_for '! kill -0 $app_pid 2>/dev/null' 100 || fail "the app did not quit"
echo "install, update, failures and uninstall: OK (screenshots in $shots)"

#!/usr/bin/env bash
# The manager's own update, for real: a 1.2.0 manager started from a folder
# the user owns finds the next version on the stand-in, the user accepts, the
# helper swaps the executables and the new version comes up and says it is
# healthy. Then the rollback: a new version that ends at once is replaced by
# the previous one, which tells the user once.
set -euo pipefail
source "$(dirname "$0")/common.sh"

next_manager="$build/tests/quillotone-manager-next"
broken_manager="$build/tests/quillotone-exits-at-once"
cached() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
current=$(cached CMAKE_PROJECT_VERSION)
next=$(cached QUILLOTONE_NEXT_VERSION)
origin=$(cached QUILLOTONE_CONTENT_ORIGIN)

# The content the stand-in serves, with a manifest we write ourselves.
standin_content=$HOME/content
cp -r "$build/standin-content" "$standin_content"

publish() {   # version payload: announces the version with that payload
    "$root/tools/standin/publish-manager-update" --signing-key "$build/standin-keys/manifest-signing.pem" \
        "$standin_content" "$origin" "$1" "$2"
}

original=$app
install_manager() {   # folder: a copy of this build's manager there
    mkdir -p "$1"
    cp "$original" "$1/Quillotone Plugin Manager"
}

staging_folders() { ls -d "$1"/.quillotone-manager-update-* 2>/dev/null | wc -l; }

start_standin
prepare_display

#------------------------------------------------------------------------------
# The update that works.
folder="$HOME/Manager App"
install_manager "$folder"
app="$folder/Quillotone Plugin Manager"
publish "$next" "$next_manager"
start_app
wait_for dialog_up 150 || fail "no update offer"
shot self-update-offer
# Half the payload, then a pause, so the progress can be seen.
set_fault "/plugin-manager/$next/QuillotonePluginManager-$next-linux-update.AppImage" '{"stall": 2500, "count": 1}'
click 627 423
sleep 1.2
shot self-update-progress
wait_for '! kill -0 $app_pid 2>/dev/null' 300 || fail "the manager did not quit for the update"
wait $app_pid || true

# The helper swaps, starts the new version, and removes the staging folder
# once the new version has said it is healthy.
wait_for '[ "$(staging_folders "$folder")" -eq 0 ]' 600 || fail "the update did not finish: $(ls -A "$folder")"
cmp -s "$app" "$next_manager" || fail "the new version is not in place"
wait_for '[ "$(window_count)" -eq 1 ]' 150 || fail "the new version shows no window"
sleep 1.5
eval "$(xdotool search --name "$title" getwindowgeometry --shell | head -5)"
shot self-update-done
/usr/bin/python3 "$here/xwindow.py" close "$title" >/dev/null
wait_for '! pgrep -f "$folder/Quillotone Plugin Manager" >/dev/null' 100 || fail "the new version did not quit"

#------------------------------------------------------------------------------
# The update that does not come up: rolled back, and told once.
folder="$HOME/Another Manager"
install_manager "$folder"
app="$folder/Quillotone Plugin Manager"
publish "$next" "$broken_manager"
start_app
wait_for dialog_up 150 || fail "no update offer"
click 627 423
wait_for '! kill -0 $app_pid 2>/dev/null' 300 || fail "the manager did not quit for the update"
wait $app_pid || true

# The previous manager, restored, must not be offered the broken one again.
publish "$current" "$original"
wait_for '[ -f "$folder"/.quillotone-manager-update-*/error-shown ]' 900 || fail "no failure was reported"
cmp -s "$app" "$original" || fail "the previous manager was not restored"
work=$(ls -d "$folder"/.quillotone-manager-update-*)
[ -f "$work/failed" ] || fail "the failed version was not kept aside"
[ ! -e "$work/healthy" ] || fail "the restored manager said the failed update was healthy"
wait_for '[ "$(window_count)" -eq 1 ]' 150 || fail "the restored manager shows no window"
sleep 1
eval "$(xdotool search --name "$title" getwindowgeometry --shell | head -5)"
shot self-update-rolled-back
dialog_up || fail "the rollback was not shown"
click 627 423
/usr/bin/python3 "$here/xwindow.py" close "$title" >/dev/null
wait_for '! pgrep -f "$folder/Quillotone Plugin Manager" >/dev/null' 100 || fail "the restored manager did not quit"

# A second start shows nothing.
start_app
sleep 5
shot self-update-second-start
dialog_up && fail "the rollback was shown twice"
/usr/bin/python3 "$here/xwindow.py" close "$title" >/dev/null
wait_for '! kill -0 $app_pid 2>/dev/null' 100 || fail "the manager did not quit"
echo "self-update and rollback: OK"

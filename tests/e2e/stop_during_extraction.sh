#!/usr/bin/env bash
# STOP while the extraction tool unpacks a large installer: the tool is
# ended, no dialog appears, and nothing of the product is left anywhere.
set -euo pipefail
source "$(dirname "$0")/common.sh"

start_standin
prepare_display
start_app
signed_in library@quillotone.test

# Grand Library, second on the list, unpacks tens of thousands of files.
expand="$private/Installers/GrandLibrary/Expand"
click 817 323
for _ in $(seq 1 400); do
    [ -d "$expand" ] && break
    sleep 0.02
done
[ -d "$expand" ] || fail "the extraction did not start"
click 817 323
sleep 0.3
shot stopped-extraction
pgrep -f "$TMPDIR/quillotone-tool-" > /dev/null && fail "the extraction tool still runs after STOP"
wait_for '[ ! -d "$private/Installers/GrandLibrary" ]' 100 || fail "STOP left the unpacked installer behind"
sleep 1
dialog_up && fail "a dialog after STOP"
for target in $(plugins_of GrandLibrary) "$HOME/Documents/Quillotone/Samples/GrandLibrary" "$HOME/Documents/Quillotone/Presets/GrandLibrary"; do
    [ ! -e "$target" ] || fail "STOP left $target"
done
[ -z "$(ls "$TMPDIR" | grep quillotone-tool- || true)" ] || fail "the tool's private copy was left behind"

kill -0 $app_pid || fail "the app died"
/usr/bin/python3 "$here/xwindow.py" close "$title" >/dev/null
wait_for '! kill -0 $app_pid 2>/dev/null' 100 || fail "the app did not quit"
echo "STOP during extraction: OK"

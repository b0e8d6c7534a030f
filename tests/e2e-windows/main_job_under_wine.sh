#!/usr/bin/env bash
# The Windows build's main job under Wine, as a user does it: log in with the
# demo account (remembered), wait for the rows, install a product whose
# installer brings every format, presets and samples, check where each landed
# in the Wine prefix against the settings' Windows defaults, read the placed
# VST2's version with the project's PE reader, start again (the login is
# remembered), uninstall it into the recycle bin and check that presets and
# samples stay. Then the Linux build logs in the same way, and the time from
# the Log In click to the rows is printed for both.
#
# Usage (under xvfb-run, as scripts/test-windows runs it):
#   main_job_under_wine.sh WINDOWS-EXE PORT [LINUX-APP LINUX-PORT]
# Wine's settings (WINEPREFIX and the rest) come from the caller; screenshots
# go to $SCREENSHOTS (default: beside the executable).
set -euo pipefail
exe=$1
build=$(cd "$(dirname "$exe")" && pwd)
linux_app=${3:-}
linux_port=${4:-}
: "${WINEPREFIX:?run through scripts/test-windows, which sets up Wine}"
[ -n "${DISPLAY:-}" ] || { echo "FAIL: needs a display (xvfb-run)"; exit 1; }

# Wine's recycle bin is the freedesktop trash under HOME, which common.sh
# makes afresh; on the prefix's file system, as a user's would be.
export TMPDIR=$build
source "$(dirname "$0")/../e2e/common.sh"
wine_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
shots=${SCREENSHOTS:-$build/screenshots}
mkdir -p "$shots"
trap 'kill ${pids[@]} 2>/dev/null || true; wineserver --kill 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$HOME"' EXIT

repaint=$build/tools/quillotone-wine-repaint.exe
test_program=$build/tests/windows/quillotone_windows_tests.exe
[ -f "$repaint" ] || fail "no repaint helper at $repaint (scripts/build-windows quillotone-wine-repaint)"
[ -f "$test_program" ] || fail "no Windows test program at $test_program"

unix_path() { winepath -u "$1" 2>/dev/null; }
windows_path() { winepath -w "$1" 2>/dev/null; }

# The product under test, a demo. Its installer has every format,
# presets, and samples in the maker's shared documents.
product="Velvet Keys"
install_name=VelvetKeys
version=2.0.0

#------------------------------------------------------------------------------
# A Wine server left by an earlier run (perhaps without a display) would
# serve the app, and a stale stand-in would answer it.
wineserver --kill 2>/dev/null || true
(exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null && fail "port $port is taken; stop whatever listens there"

public_documents=$(unix_path 'C:\users\Public\Documents')
program_files=$(unix_path 'C:\Program Files')
[ -d "$public_documents" ] && [ -d "$program_files" ] || fail "the prefix has no public documents or program files folder"
maker=$public_documents/Quillotone
cache="$maker/Temp/PluginManagerCache"
# Downloads and the install's work folders: the manager's own folder.
private=$(unix_path 'C:\ProgramData\Quillotone\PluginManager')
wine_temp=$(unix_path "$(wine cmd /c 'echo %TEMP%' 2>/dev/null | tr -d '\r')")
[ -d "$wine_temp" ] || fail "no temp folder in the prefix"

# The prefix outlives runs: start from a first start's state.
rm -rf "$maker"
for target in "VSTPlugins/$install_name.dll" "Common Files/VST3/$install_name.vst3" \
              "Common Files/Avid/Audio/Plug-Ins/$install_name.aaxplugin" "Common Files/CLAP/$install_name.clap"; do
    rm -rf "${program_files:?}/$target"
done
rm -rf "$wine_temp"/quillotone-tool-*

start_standin
prepare_display

# Without the helper the window paints only when Wine asks it to.
wine "$repaint" "$(basename "$exe")" 250 300 2>/dev/null &
pids+=($!)

start_wine_app() {   # sets app_pid and the window's X and Y
    wine "$exe" 2>/dev/null &
    app_pid=$!
    pids+=($app_pid)

    # The first window with the title can be a short-lived decoy: the same id
    # must be seen twice.
    local window= seen=
    for _ in $(seq 1 240); do
        window=$(/usr/bin/python3 "$here/xwindow.py" list "$title" | head -n 1 | cut -d' ' -f1)
        [ -n "$window" ] && [ "$window" = "$seen" ] && break
        seen=$window
        kill -0 $app_pid 2>/dev/null || fail "the app ended before it showed a window"
        sleep 0.5
    done
    [ -n "$window" ] && [ "$window" = "$seen" ] || fail "no lasting window under Wine"
    eval "$(xdotool getwindowgeometry --shell "$((window))" | head -5)"
    [ "${WIDTH}x${HEIGHT}" = "900x700" ] || fail "the window is ${WIDTH}x${HEIGHT}, not 900x700"
    sleep 1.5
}

close_wine_app() {
    # Without a window manager Wine takes the first close request as
    # activation, so ask until the app goes.
    for _ in $(seq 1 10); do
        /usr/bin/python3 "$here/xwindow.py" close "$title" >/dev/null
        wait_for '! kill -0 $app_pid 2>/dev/null' 20 && break
    done
    if kill -0 $app_pid 2>/dev/null; then
        shot close-failed-wine
        fail "the app did not quit when its window was closed"
    fi
    wait $app_pid 2>/dev/null || true
}

# The first row's thumbnail: coloured once the rows are there.
rows_shown() {
    local spread
    spread=$(import -window root -crop 1x1+$((X + 295))+$((Y + 160)) -depth 8 \
                 -format '%[fx:int(255*(max(r,max(g,b))-min(r,min(g,b))))]' info:)
    [ "$spread" -ge 60 ]
}

start_wine_app
shot main-window-wine
colours=$(identify -format '%k' "$shots/main-window-wine.png")
[ "$colours" -ge 16 ] || fail "the first screenshot has only $colours colours: nothing was drawn"

#------------------------------------------------------------------------------
# Log in, remembered; the time runs from the click until the first row's
# thumbnail shows.
click 462 318; xdotool type --delay 10 demo@quillotone.test
click 462 348; xdotool type --delay 10 quillotone
click 362 376
sleep 0.5
shot login-filled-wine
windows_ms=$(/usr/bin/python3 "$here/xwindow.py" time-to-colour $((X + 449)) $((Y + 416)) $((X + 295)) $((Y + 160)) 60) \
    || fail "no rows within 60 s of the Log In click"
sleep 0.5
shot purchases-wine
dialog_up && fail "a dialog over the rows"
cmp -s "$cache/Utils/quillex.exe" "$build/standin-content/plugin-manager/utils/windows/quillex.exe" \
    || fail "the sync did not leave the served extraction tool in $cache/Utils"

# The settings the app wrote on its first start: the Windows defaults.
settings=$(/usr/bin/python3 - "$cache/settings.qvs" <<'PY'
import sys, xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
for key in ("PathVST2", "PathVST3", "PathAAX", "PathCLAP", "PathSamples"):
    print(root.get(key, ""))
PY
) || fail "no readable settings file in $cache"
expected='C:\Program Files\VSTPlugins\
C:\Program Files\Common Files\VST3\
C:\Program Files\Common Files\Avid\Audio\Plug-Ins\
C:\Program Files\Common Files\CLAP\
C:\users\Public\Documents\Quillotone\Samples'
[ "$settings" = "$expected" ] || fail "the settings are not the Windows defaults: $settings"
mapfile -t folders < <(echo "$settings" | while IFS= read -r folder; do unix_path "$folder"; done)
vst2="${folders[0]%/}/$install_name.dll"
vst3="${folders[1]%/}/$install_name.vst3"
aax="${folders[2]%/}/$install_name.aaxplugin"
clap="${folders[3]%/}/$install_name.clap"
samples="${folders[4]%/}/$install_name"
presets="$maker/Presets/$install_name"

#------------------------------------------------------------------------------
# Install from the Demo page, the product searched for so that its row is first.
demo_page_with_product() {
    click 100 192; sleep 0.8
    click 347 25; xdotool type --delay 10 "$product"; sleep 0.8
}
demo_page_with_product
shot demo-wine
click 817 135
for target in "$vst2" "$vst3/Contents/x86_64-win/$install_name.vst3" "$aax" "$clap"; do
    wait_for "[ -e '$target' ]" 300 || fail "the install did not place $target"
done
wait_for '[ -f "$samples/Kits/Kit 110 Hz.wav" ]' 200 || fail "no samples in $samples"
wait_for '[ ! -d "$private/Installers/$install_name" ]' 100 || fail "the install's work folder stayed"
sleep 1
shot installed-wine
dialog_up && fail "a dialog after a good install"
[ -n "$(find "$presets" -type f -name '*.qpreset' | head -n 1)" ] || fail "no presets in $presets"
[ -z "$(staging_names_in "${folders[@]:0:4}")" ] || fail "staging names left: $(staging_names_in "${folders[@]:0:4}")"
# The private copy of the extraction tool and its output go with the run.
[ -z "$(ls "$wine_temp" | grep '^quillotone-tool-' || true)" ] || fail "the tool's private folder stayed in $wine_temp"

# The placed VST2's version, read by the manager's own PE reader in the
# Windows test program, and by python3-pefile as an independent second.
version_out=$HOME/vst2-version.txt
wine "$test_program" --file-version "$(windows_path "$vst2")" "$(windows_path "$version_out")" 2>/dev/null \
    || fail "the test program could not read $vst2"
[ "$(cat "$version_out")" = "$version.0" ] || fail "the project's PE reader says $(cat "$version_out"), not $version.0"
[ "$(file_version "$vst2")" = "$version.0" ] || fail "pefile says $(file_version "$vst2"), not $version.0"

#------------------------------------------------------------------------------
# A second start logs in by itself and finds the product installed.
close_wine_app
start_wine_app
wait_for rows_shown 300 || fail "the remembered login did not bring the rows back"
demo_page_with_product
shot restarted-installed-wine

#------------------------------------------------------------------------------
# Uninstall: the confirmation, then the recycle bin; presets and samples stay.
click 817 170
sleep 0.8
shot uninstall-confirm-wine
dialog_up || fail "no confirmation before the uninstall"
click 627 423
for target in "$vst2" "$vst3" "$aax" "$clap"; do
    wait_for "[ ! -e '$target' ]" 200 || fail "the uninstall left $target"
done
sleep 1
shot uninstalled-wine
dialog_up && fail "a dialog after a good uninstall"
trash=$HOME/.local/share/Trash
[ -f "$trash/files/$install_name.dll" ] || fail "the VST2 is not in the recycle bin ($trash)"
[ -d "$trash/files/$install_name.vst3" ] || fail "the VST3 bundle is not in the recycle bin as one item"
[ -f "$trash/info/$install_name.dll.trashinfo" ] || fail "no recycle-bin record for the VST2"
[ -f "$samples/Kits/Kit 110 Hz.wav" ] || fail "the uninstall touched the samples"
[ -n "$(find "$presets" -type f -name '*.qpreset' | head -n 1)" ] || fail "the uninstall removed the presets"

close_wine_app
wineserver --kill 2>/dev/null || true
kill ${pids[@]} 2>/dev/null || true
wait 2>/dev/null || true
pids=()

echo "$product under Wine: installed, version $version read back, uninstalled to the recycle bin (screenshots in $shots)"

#------------------------------------------------------------------------------
linux_ms=
if [ -n "$linux_app" ]; then
    linux_ms=$(SCREENSHOTS=$shots bash "$wine_here/login_to_rows.sh" "$linux_app" "$linux_port") \
        || fail "the Linux build's login run failed: $linux_ms"
fi
echo "Log In click to rows, Windows build under Wine: $windows_ms ms (painted every 250 ms by the helper)"
[ -z "$linux_ms" ] || echo "Log In click to rows, Linux build:                $linux_ms ms"

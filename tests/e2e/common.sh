# Shared by the end-to-end scripts: a sandboxed HOME, cleanup, waiting, and a
# display prepared the way a window manager would leave it.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
title="Quillotone Plugin Manager"
# The stand-in listens where the build points the manager.
port=${2:-38080}

export HOME=$(mktemp -d)
# The app's temporary files stay in the sandbox too, where a test can see them.
export TMPDIR=$HOME/tmp
mkdir -p "$TMPDIR"
pids=()
# Whatever runs from the sandbox goes too: a manager a helper started holds
# the single-instance lock that the next script's manager needs.
trap 'kill ${pids[@]} 2>/dev/null || true; pkill -f -- "$HOME/" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$HOME"' EXIT

fail() { echo "FAIL: $*"; exit 1; }

wait_for() {   # condition, timeout in tenths of a second
    local i
    for ((i = 0; i < $2; i++)); do
        eval "$1" && return 0
        sleep 0.1
    done
    return 1
}

window_count() { /usr/bin/python3 "$here/xwindow.py" list "$title" | wc -l; }

prepare_display() {
    /usr/bin/python3 "$here/xwindow.py" hold 170 > "$HOME/holder.out" &
    pids+=($!)
    wait_for 'grep -q ready "$HOME/holder.out"' 50 || fail "could not prepare the display"
}

# What most scripts need: the app's build folder and a folder for screenshots.
app=$1
build=$(dirname "$app")
shots=${SCREENSHOTS:-$build/screenshots}
mkdir -p "$shots"

start_standin() {   # extra arguments go to the server; $standin_content may name another content folder
    /usr/bin/python3 "$root/tools/standin/server.py" --port $port --content "${standin_content:-$build/standin-content}" "$@" \
        > "$HOME/server.log" 2>&1 &
    pids+=($!)
    wait_for '(exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null' 50 || fail "stand-in did not start"
}

start_app() {   # sets app_pid and the window's X and Y; shot and click work from then on
    "$app" &
    app_pid=$!
    pids+=($app_pid)
    wait_for '[ "$(window_count)" -ge 1 ]' 200 || fail "no window"
    sleep 1
    eval "$(xdotool search --name "$title" getwindowgeometry --shell | head -5)"
}

shot() { import -window root -crop 900x700+$X+$Y "$shots/$1.png"; }
click() { xdotool mousemove $((X + $1)) $((Y + $2)) click 1; sleep 0.3; }

log_in() {   # e-mail address; the password of every demo account
    click 462 318; xdotool type --delay 10 "$1"
    click 462 348; xdotool type --delay 10 "quillotone"
    click 449 416
}

signed_in() {   # e-mail address: logs in and waits for the sync to finish
    log_in "$1"
    wait_for tool_fetched 300 || fail "the sync did not fetch the extraction tool"
    sleep 1.5
}

# The cache of the sandboxed user, and the extraction tool the stand-in serves.
cache="$HOME/Documents/Quillotone/Temp/PluginManagerCache"
# Downloads and the install's work folders: the manager's own folder.
private="$HOME/.cache/Quillotone/PluginManager"
tool_fetched() { cmp -s "$cache/Utils/quillex" "$build/standin-content/plugin-manager/utils/linux/quillex"; }

set_fault() {   # path ("catalogue" and "login" name the service paths), fault as JSON
    /usr/bin/python3 - "$root/tools/standin" "$port" "$1" "$2" <<'PY'
import json, sys, urllib.request
sys.path.insert(0, sys.argv[1])
import protocol
path = {"catalogue": protocol.CATALOGUE_PATH, "login": protocol.LOGIN_PATH}.get(sys.argv[3], sys.argv[3])
body = json.dumps({"faults": {path: json.loads(sys.argv[4])}}).encode()
urllib.request.urlopen("http://127.0.0.1:%s/__standin/fault" % sys.argv[2], body).read()
PY
}

# Where a product lands with the default settings of a Linux build.
plugins_of() {   # install name: its four plugin targets
    echo "$HOME/.vst/$1.dll $HOME/.vst3/$1.vst3 $HOME/.aax/$1.aaxplugin $HOME/.clap/$1.clap"
}

file_version() {   # a Windows image's file version, read by an independent reader
    /usr/bin/python3 -c '
import sys, pefile
pe = pefile.PE(sys.argv[1], fast_load=True)
pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
f = pe.VS_FIXEDFILEINFO[0]
print("%d.%d.%d.%d" % (f.FileVersionMS >> 16, f.FileVersionMS & 0xffff, f.FileVersionLS >> 16, f.FileVersionLS & 0xffff))' "$1"
}

dialog_up() {   # true while a dialog's veil darkens the window
    local level
    level=$(import -window root -crop 1x1+$((X + 100))+$((Y + 600)) -depth 8 -format '%[fx:int(255*r)]' info:)
    [ "$level" -lt 128 ]
}

staging_names_in() {   # folders...: prints every staging name below them
    find "$@" -name '*.pending.*' -o -name '*.backup.*' 2>/dev/null
}

search_for() {   # replaces the search field's text
    click 347 64
    xdotool key ctrl+a BackSpace
    [ -z "$1" ] || xdotool type --delay 10 "$1"
    sleep 0.4
}

# Shared by the end-to-end scripts: a sandboxed HOME, cleanup, waiting, and a
# display prepared the way a window manager would leave it.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
title="Quillotone Plugin Manager"
# The stand-in listens where the build points the manager.
port=${2:-38080}

export HOME=$(mktemp -d)
pids=()
trap 'kill ${pids[@]} 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$HOME"' EXIT

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

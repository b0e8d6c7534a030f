#!/bin/sh
# The manager's update helper for macOS and Linux. The manager writes it into
# the update's staging folder, after it has verified the staged new version,
# and starts it detached; the two then talk only through files in that folder.
# Once the manager has quit, the helper swaps the new version in, starts it,
# and puts the previous one back if it does not report itself healthy.
#
# usage: apply-update.sh PARENT_PID TARGET STAGED WORK PLATFORM
# Every path arrives as an argument and is only ever used quoted.
set -eu

parent=$1
target=$2
staged=$3
work=$4
platform=$5
backup=$work/previous
failed=$work/failed
launched=

relaunch() {
    if [ "$platform" = macos ]; then
        "$target/Contents/MacOS/Quillotone Plugin Manager" </dev/null >/dev/null 2>&1 &
    else
        (
            unset APPIMAGE APPDIR ARGV0 OWD LD_LIBRARY_PATH LD_PRELOAD
            exec "$target"
        ) </dev/null >/dev/null 2>&1 &
    fi
    launched=$!
}

report() {
    printf '%s\n' "$1" > "$work/error"
}

# Where a plain file is swapped (Linux), the previous version gets a second
# name and the new one replaces the target in one rename, so a runnable
# manager stands at the target at every moment. A bundle (macOS) is a folder
# and has to be moved aside.
preserve() {
    if [ "$platform" = macos ]; then
        mv -- "$target" "$backup"
    else
        ln -- "$target" "$backup" 2>/dev/null || cp -p -- "$target" "$backup"
    fi
}

restore() {
    if [ "$platform" = macos ]; then
        mv -- "$target" "$failed" || true
        mv -- "$backup" "$target"
    else
        ln -- "$target" "$failed" 2>/dev/null || true
        mv -f -- "$backup" "$target"
    fi
}

printf 'ready\n' > "$work/ready"

probes=0
while kill -0 "$parent" 2>/dev/null; do
    probes=$((probes + 1))
    if [ "$probes" -ge 180 ]; then
        report "The manager did not close in time."
        exit 1
    fi
    sleep 1
done

# Not armed: the manager changed its mind; nothing is touched.
[ -e "$work/armed" ] || exit 0

if ! preserve; then
    report "Could not preserve the previous manager."
    relaunch
    exit 1
fi

if ! mv -f -- "$staged" "$target"; then
    if [ "$platform" = macos ]; then mv -- "$backup" "$target" || true; else rm -f -- "$backup"; fi
    report "Could not install the update; the previous manager was restored."
    relaunch
    exit 1
fi

if ! relaunch || [ -z "$launched" ]; then
    restore || true
    report "Could not launch the update; the previous manager was restored."
    relaunch
    exit 1
fi

tries=0
while [ ! -e "$work/healthy" ]; do
    tries=$((tries + 1))
    if ! kill -0 "$launched" 2>/dev/null || [ "$tries" -gt 45 ]; then
        kill -KILL "$launched" 2>/dev/null || true
        wait "$launched" 2>/dev/null || true
        restore || true
        report "The update did not start successfully; the previous manager was restored."
        relaunch
        exit 1
    fi
    sleep 1
done

rm -rf -- "$work"

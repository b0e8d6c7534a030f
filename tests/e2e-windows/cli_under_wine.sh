#!/usr/bin/env bash
# The Windows command line under Wine: log in from standard input, install
# Velvet Keys into the settings' Windows default folders of the prefix, and
# uninstall it again.
#
# Usage (as scripts/test-windows runs it): cli_under_wine.sh WINDOWS-CLI PORT
# Wine's settings (WINEPREFIX and the rest) come from the caller.
set -euo pipefail
cli=$1
: "${WINEPREFIX:?run through scripts/test-windows, which sets up Wine}"
export TMPDIR=$(cd "$(dirname "$cli")" && pwd)
source "$(dirname "$0")/../e2e/common.sh"
trap 'kill ${pids[@]} 2>/dev/null || true; wineserver --kill 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$HOME"' EXIT
build=$(cd "$(dirname "$cli")" && pwd)

unix_path() { winepath -u "$1" 2>/dev/null; }
program_files=$(unix_path 'C:\Program Files')
public_documents=$(unix_path 'C:\users\Public\Documents')
[ -d "$program_files" ] && [ -d "$public_documents" ] || fail "the prefix has no program files or public documents folder"
targets=("$program_files/VSTPlugins/VelvetKeys.dll" "$program_files/Common Files/VST3/VelvetKeys.vst3"
         "$program_files/Common Files/Avid/Audio/Plug-Ins/VelvetKeys.aaxplugin"
         "$program_files/Common Files/CLAP/VelvetKeys.clap")

# The prefix outlives runs: start from a first start's state.
rm -rf "$public_documents/Quillotone" "${targets[@]}"
wineserver --kill 2>/dev/null || true
start_standin

run_wine_cli() {   # expected exit code, arguments...
    local want=$1 rc=0
    shift
    wine "$cli" "$@" > "$HOME/out" 2> "$HOME/err" < /dev/null || rc=$?
    [ "$rc" = "$want" ] || { cat "$HOME/err"; fail "quillotone-cli.exe $* exited $rc, not $want"; }
}

rc=0
echo quillotone | wine "$cli" login --email demo@quillotone.test --remember > "$HOME/out" 2> "$HOME/err" || rc=$?
[ "$rc" = 0 ] || { cat "$HOME/err"; fail "login under Wine exited $rc"; }

run_wine_cli 0 install "Velvet Keys"
for target in "${targets[@]}"; do
    [ -e "$target" ] || fail "install under Wine did not place $target"
done
[ -d "$public_documents/Quillotone/Presets/VelvetKeys" ] || fail "no presets under Wine"
run_wine_cli 0 list --json --demos
grep -q '"installedVersion": "2.0.0"' "$HOME/out" || fail "the listing under Wine does not show 2.0.0"

run_wine_cli 0 uninstall "Velvet Keys"
for target in "${targets[@]}"; do
    [ ! -e "$target" ] || fail "uninstall under Wine left $target"
done
run_wine_cli 0 logout
echo "PASS: quillotone-cli.exe under Wine"

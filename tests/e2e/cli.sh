#!/usr/bin/env bash
# quillotone-cli against the stand-in: login from standard input, the JSON
# listing, install, Install All, Update All after a newer release, uninstall,
# each checked on disk, and the failures with their exit codes.
# Usage: cli.sh APP [PORT] (the command line is beside the app)
set -euo pipefail
source "$(dirname "$0")/common.sh"
cli="$build/quillotone-cli"
[ -x "$cli" ] || fail "no command line beside the app"

run_cli() {   # expected exit code, arguments...; standard output in $HOME/out, error in $HOME/err
    local want=$1 rc=0
    shift
    "$cli" "$@" > "$HOME/out" 2> "$HOME/err" < /dev/null || rc=$?
    [ "$rc" = "$want" ] || { cat "$HOME/err"; fail "quillotone-cli $* exited $rc, not $want"; }
}

log_in_cli() {   # expected exit code, password, arguments...
    local want=$1 password=$2 rc=0
    shift 2
    echo "$password" | "$cli" login --email demo@quillotone.test "$@" > "$HOME/out" 2> "$HOME/err" || rc=$?
    [ "$rc" = "$want" ] || { cat "$HOME/err"; fail "login exited $rc, not $want"; }
}

placed() {   # install name: true when all four formats are in place
    local f
    for f in $(plugins_of "$1"); do [ -e "$f" ] || return 1; done
}

nothing_of() {   # install name: true when no format is in place
    local f
    for f in $(plugins_of "$1"); do [ ! -e "$f" ] || return 1; done
}

no_leftovers() {
    [ -z "$(staging_names_in "$HOME/.vst" "$HOME/.vst3" "$HOME/.aax" "$HOME/.clap")" ] || fail "staging names left: $1"
    [ -z "$(find "$private/Installers" -name '*.partial*' 2>/dev/null)" ] || fail "a partial download left: $1"
}

start_standin

#------------------------------------------------------------------------------
# Without a login nothing runs; a wrong password and a bad address are login failures.
run_cli 2 list
grep -q "Not logged in" "$HOME/err" || fail "no clear line without a login"
log_in_cli 2 wrongpassword --remember
run_cli 2 list
run_cli 1 login --email demo@quillotone.test --password quillotone
run_cli 1 frobnicate
run_cli 0 version
grep -qx "[0-9]*\.[0-9]*\.[0-9]*" "$HOME/out" || fail "version printed $(cat "$HOME/out")"

log_in_cli 0 quillotone --remember
grep -q "demo@quillotone.test" "$HOME/err" || fail "login did not say who"

#------------------------------------------------------------------------------
# The JSON listing against the demo catalogue.
run_cli 0 list --json --demos
/usr/bin/python3 - "$root/tools/standin/demo" "$HOME/out" <<'PY' || fail "list --json does not match the catalogue"
import json, sys
data = sys.argv[1]
catalogue = {p["id"]: p for p in json.load(open(data + "/catalogue.json"))["products"]}
account = next(a for a in json.load(open(data + "/accounts.json")) if a["email"] == "demo@quillotone.test")
listed = json.load(open(sys.argv[2]))
keys = {"name", "id", "owned", "freebie", "nfr", "latestVersion", "installedVersion", "formats", "updateAvailable"}
owned = [e["id"] for e in listed if e["owned"]]
demos = [e["id"] for e in listed if not e["owned"]]
assert set(owned) <= set(account["owned"]) and len(owned) >= 7, owned
assert demos == account["demos"], demos
for e in listed:
    assert set(e) == keys, e
    p = catalogue[e["id"]]
    assert e["name"] == p["name"] and e["latestVersion"] == p["version"], e
    assert e["nfr"] == (str(e["id"]) in account["nfr"]), e
    assert e["installedVersion"] is None and not e["updateAvailable"], e
    assert e["formats"] == {"vst2": None, "vst3": None, "aax": None, "clap": None}, e
PY

# A name that matches nothing runs nothing.
run_cli 5 install "Velvet Keys" "No Such Plugin"
nothing_of VelvetKeys || fail "an unknown name still let the others run"

#------------------------------------------------------------------------------
# One product by name, in any letter case: every selected format in place.
run_cli 0 install "  velvet KEYS "
placed VelvetKeys || fail "install did not place every format of Velvet Keys"
[ -d "$HOME/Documents/Quillotone/Presets/VelvetKeys" ] || fail "no presets for Velvet Keys"
no_leftovers "install"

# A format switched off in the settings is left out.
run_cli 0 settings InstallAAX 0
run_cli 0 settings InstallAAX
[ "$(cat "$HOME/out")" = 0 ] || fail "settings did not read back InstallAAX"
run_cli 1 settings NoSuchKey 1
run_cli 0 install "Glass Comp"
[ -e "$HOME/.vst3/GlassComp.vst3" ] && [ ! -e "$HOME/.aax/GlassComp.aaxplugin" ] || fail "the settings were not followed"
run_cli 0 settings InstallAAX 1

# Install All: every owned product, no demo.
run_cli 0 install --all
placed BigRoomVerb && placed DrumFoundry && placed KV77 || fail "Install All left products out"
nothing_of SpringTank || fail "Install All installed a demo"
[ "$(file_version "$HOME/.vst/BigRoomVerb.dll")" = "1.2.0.0" ] || fail "Big Room Verb is not 1.2.0"
run_cli 0 list --json
/usr/bin/python3 -c '
import json, sys
listed = {e["name"]: e for e in json.load(open(sys.argv[1]))}
e = listed["Big Room Verb"]
assert e["installedVersion"] == "1.2.0" and e["formats"]["vst2"] == "1.2.0" and not e["updateAvailable"], e
' "$HOME/out" || fail "the listing does not show the installed versions"

#------------------------------------------------------------------------------
# Update All after a newer release.
"$root/tools/standin/publish-newer" --port $port > /dev/null
run_cli 0 list --json
grep -q '"updateAvailable": true' "$HOME/out" || fail "no update listed after the newer release"

# Ctrl+C while the update's download waits on a stalled server: the old
# version stays, nothing is left behind, exit 130.
set_fault /installers/BigRoomVerb-1.3.0.zip '{"stall": 30000}'
"$cli" update "Big Room Verb" > /dev/null 2> "$HOME/err" &
cli_pid=$!
wait_for 'grep -q "Downloading" "$HOME/err"' 100 || fail "the update did not start"
sleep 0.5
kill -INT $cli_pid
rc=0; wait $cli_pid || rc=$?
[ "$rc" = 130 ] || fail "Ctrl+C during a download exited $rc"
[ "$(file_version "$HOME/.vst/BigRoomVerb.dll")" = "1.2.0.0" ] || fail "Ctrl+C during a download changed the plugin"
no_leftovers "Ctrl+C during a download"
set_fault /installers/BigRoomVerb-1.3.0.zip null

# Ctrl+C while the extraction tool runs (held after its first file): the
# install is stopped for certain, the old version stays, exit 130.
rm -f "$HOME/pause.paused" "$HOME/pause.go"
QUILLEX_TEST_PAUSE="1:$HOME/pause" "$cli" update "Big Room Verb" > /dev/null 2> "$HOME/err" &
cli_pid=$!
wait_for '[ -e "$HOME/pause.paused" ]' 100 || fail "the extraction did not start"
kill -INT $cli_pid
rc=0; wait $cli_pid || rc=$?
[ "$rc" = 130 ] || fail "Ctrl+C during the extraction exited $rc"
[ "$(file_version "$HOME/.vst/BigRoomVerb.dll")" = "1.2.0.0" ] || fail "Ctrl+C during the extraction changed the plugin"
placed BigRoomVerb || fail "Ctrl+C during the extraction left a format missing"
no_leftovers "Ctrl+C during the extraction"

# Ctrl+C at moments through the rest of the install (placement): each format
# is whole, in the old or the new version (formats placed before the stop
# stay placed), and no staging name is left. An install this small may
# already be done when the signal comes (exit 0).
for delay in 0 0.01 0.03 0.06 0.1; do
    "$cli" update "Big Room Verb" > /dev/null 2> "$HOME/err" &
    cli_pid=$!
    # Busy-wait: a sleep would step past the moments under test.
    end=$((SECONDS + 30))
    while ((SECONDS < end)) && kill -0 $cli_pid 2>/dev/null && ! grep -q "Installing" "$HOME/err"; do :; done
    sleep $delay
    kill -INT $cli_pid 2>/dev/null || true
    rc=0; wait $cli_pid || rc=$?
    [ "$rc" = 130 ] || [ "$rc" = 0 ] || fail "Ctrl+C $delay s into the install exited $rc"
    placed BigRoomVerb || fail "Ctrl+C at $delay s left a format missing"
    no_leftovers "Ctrl+C at $delay s"
    run_cli 0 list --json
    /usr/bin/python3 -c '
import json, sys
e = next(e for e in json.load(open(sys.argv[1])) if e["name"] == "Big Room Verb")
assert all(v in ("1.2.0", "1.3.0") for v in e["formats"].values()), e
' "$HOME/out" || fail "a broken format after Ctrl+C at $delay s"
    [ "$rc" = 0 ] && break
done

run_cli 0 update --all
[ "$(file_version "$HOME/.vst/BigRoomVerb.dll")" = "1.3.0.0" ] || fail "Update All did not place 1.3.0"
no_leftovers "Update All"

#------------------------------------------------------------------------------
# Uninstall: the plugin files go, presets and samples stay.
run_cli 0 uninstall "Velvet Keys"
nothing_of VelvetKeys || fail "uninstall left Velvet Keys in place"
[ -d "$HOME/Documents/Quillotone/Presets/VelvetKeys" ] || fail "uninstall removed the presets"
run_cli 0 uninstall --all
nothing_of BigRoomVerb && nothing_of KV77 || fail "Uninstall All left products in place"

#------------------------------------------------------------------------------
# A failed download is a failed operation, and the others still run.
set_fault /installers/DrumFoundry.zip '{"status": 500}'
run_cli 3 install "Drum Foundry" "Velvet Keys"
grep -q "Download error" "$HOME/err" || fail "no Download error line"
placed VelvetKeys || fail "the product after a failed one did not run"
set_fault /installers/DrumFoundry.zip null

# The manager or another command line holds the lock: 4.
sleep 20 | "$cli" login --email demo@quillotone.test > /dev/null 2>&1 &
holder=$!
pids+=($holder)
sleep 0.5
run_cli 4 install "Velvet Keys"
grep -q "running" "$HOME/err" || fail "no line about the running program"
kill $holder 2>/dev/null || true
pkill -P $$ sleep 2>/dev/null || true
wait $holder 2>/dev/null || true
if [ -n "${DISPLAY:-}" ]; then
    # Once its window is up the manager holds the lock.
    start_app
    run_cli 4 settings InstallVST2 1
    kill $app_pid
    wait $app_pid 2>/dev/null || true
fi

# The stand-in stopped: a network failure.
kill ${pids[0]}
wait ${pids[0]} 2>/dev/null || true
run_cli 2 list
grep -q "Sync" "$HOME/err" || fail "no Sync line when the server is gone"

# Log out forgets the login.
run_cli 0 logout
run_cli 2 list
grep -q "Not logged in" "$HOME/err" || fail "logout kept the login"
echo "PASS"

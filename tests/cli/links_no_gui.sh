#!/usr/bin/env bash
# Usage: links_no_gui.sh CLI BUILD_DIR. Fails when the command line links a
# GUI module of the framework or any of our GUI code.
set -euo pipefail
cli=$1
build=$2

# The link rule of the program, as CMake generated it.
link=$(awk '/^build quillotone-cli(\.exe)?:/ { found = 1 } found && /LINK_LIBRARIES/ { print; exit }' "$build/build.ninja")
[ -n "$link" ] || { echo "FAIL: no link rule for quillotone-cli"; exit 1; }
if grep -Eo 'juce_gui[a-z_]*|juce_graphics|quillotone_core|freetype|JUCE_IMG' <<< "$link"; then
    echo "FAIL: the link line names a GUI library"
    exit 1
fi

all=$(nm -C "$cli")
symbols=$(grep -E ' [TtWwVvDdBbRr] ' <<< "$all" | grep -Eo 'juce::(Component|Image|Graphics|Desktop|LookAndFeel|Font)(::|\b)' | sort -u || true)
if [ -n "$symbols" ]; then
    echo "FAIL: GUI symbols in the binary:"
    echo "$symbols"
    exit 1
fi

# The check itself must see the framework: a binary without symbols passes anything.
grep -q 'juce::String::' <<< "$all" || { echo "FAIL: no framework symbols found"; exit 1; }
echo "quillotone-cli links no GUI module"

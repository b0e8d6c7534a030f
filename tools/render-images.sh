#!/usr/bin/env bash
# Renders the raster images the app embeds from our own SVG artwork.
#
# Usage: tools/render-images.sh OUTDIR
# Needs (Debian): librsvg2-bin (rsvg-convert), imagemagick (convert, identify).
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: $0 OUTDIR" >&2
    exit 2
fi

out=$1
images="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/resources/images"
logo_svg=$images/quillotone-logo.svg
icon_svg=$images/app-icon.svg

for tool in rsvg-convert convert identify; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "render-images: '$tool' not found; install Debian's librsvg2-bin and imagemagick" >&2
        exit 1
    fi
done
for f in "$logo_svg" "$icon_svg"; do
    [ -f "$f" ] || { echo "render-images: missing $f" >&2; exit 1; }
done

mkdir -p "$out"
work=$(mktemp -d "$out/.render.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Draw each size straight from the vector source rather than scaling a bitmap,
# so small sizes stay crisp.
render() { # svg width height png
    rsvg-convert --format png --width "$2" --height "$3" "$1" --output "$4"
}

# Checks the pixel size, and that the PNG is 8-bit RGBA (colour type 6),
# because the app draws these over its own backgrounds.
expect_png() { # png width height
    local got
    got=$(identify -format '%w %h' "$1")
    if [ "$got" != "$2 $3" ]; then
        echo "render-images: $1 is $got, expected $2 $3" >&2
        exit 1
    fi
    if [ "$(od -An -tu1 -j24 -N2 "$1" | tr -s ' ')" != " 8 6" ]; then
        echo "render-images: $1 is not 8-bit RGBA" >&2
        exit 1
    fi
}

render "$logo_svg" 440 122 "$work/quillotone.png"
expect_png "$work/quillotone.png" 440 122

for size in 1024 512; do
    name="Quillotone_Icon-iOS-Default-${size}x${size}@1x.png"
    render "$icon_svg" "$size" "$size" "$work/$name"
    expect_png "$work/$name" "$size" "$size"
done

ico_parts=()
for size in 16 32 48 256; do
    render "$icon_svg" "$size" "$size" "$work/ico-$size.png"
    expect_png "$work/ico-$size.png" "$size" "$size"
    ico_parts+=("$work/ico-$size.png")
done
# No timestamps, so that identical artwork gives an identical file.
convert "${ico_parts[@]}" -define png:exclude-chunks=date,time "$work/quillotone.ico"

sizes=$(identify -format '%w ' "$work/quillotone.ico")
if [ "$sizes" != "16 32 48 256 " ]; then
    echo "render-images: quillotone.ico holds sizes '$sizes', expected '16 32 48 256 '" >&2
    exit 1
fi

for f in quillotone.png \
         "Quillotone_Icon-iOS-Default-1024x1024@1x.png" \
         "Quillotone_Icon-iOS-Default-512x512@1x.png" \
         quillotone.ico; do
    mv -f "$work/$f" "$out/$f"
done

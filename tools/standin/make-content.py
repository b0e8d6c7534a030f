#!/usr/bin/python3
"""Builds the stand-in's content folder from the demo catalogue: thumbnails
drawn here, placeholder installer archives, the extraction-tool placeholder,
and the web site's pages. Everything is generated; nothing is copied in.

usage: make-content.py OUTDIR [--data DIR]
"""
import argparse
import json
import math
import os
import struct
import zipfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# Served until the real extraction tool is built by the project; its MD5 is
# pinned in the manager, so these bytes must not change.
TOOL_PLACEHOLDER = b"MZ" + b"Quillotone stand-in extraction tool placeholder\n" * 64


def png(width, height, pixel):
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        for x in range(width):
            rows.extend(pixel(x, y))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b""))


def thumbnail(colour, seed, width=240, height=150):
    r0, g0, b0 = colour
    cx, cy = width * (0.3 + 0.4 * ((seed * 37) % 10) / 10.0), height * 0.55
    rings = 3 + seed % 4

    def pixel(x, y):
        shade = 0.55 + 0.45 * (1 - y / height)
        d = math.hypot(x - cx, y - cy)
        ring = (math.sin(d / (6.0 + rings)) + 1) * 0.5
        glow = max(0.0, 1 - d / (width * 0.6))
        k = shade * (0.75 + 0.25 * ring) + 0.35 * glow
        return (min(255, int(r0 * k)), min(255, int(g0 * k)), min(255, int(b0 * k)))

    return png(width, height, pixel)


def installer_zip(path, name):
    # A stand-in archive: one Windows installer program, as the manager expects.
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        info = zipfile.ZipInfo(name.replace(" ", "") + "Setup.exe", date_time=(2026, 1, 1, 0, 0, 0))
        z.writestr(info, b"MZ" + (name + " installer placeholder\n").encode() * 32)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("outdir")
    parser.add_argument("--data", default=os.path.join(HERE, "demo"))
    args = parser.parse_args()

    with open(os.path.join(args.data, "catalogue.json"), encoding="utf-8") as f:
        catalogue = json.load(f)

    out = args.outdir
    for sub in ("thumbnails", "installers", "plugin-manager/utils", "faq", "docs", "contact"):
        os.makedirs(os.path.join(out, sub), exist_ok=True)

    for product in catalogue["products"]:
        thumb = os.path.join(out, "thumbnails", product["thumbnail"])
        if not os.path.exists(thumb):
            with open(thumb, "wb") as f:
                f.write(thumbnail(tuple(product.get("colour", (120, 120, 120))), product["id"]))
        archive = os.path.join(out, "installers", product["installer"])
        if not os.path.exists(archive):
            installer_zip(archive, product["name"])

    with open(os.path.join(out, "plugin-manager/utils/innoextract.exe"), "wb") as f:
        f.write(TOOL_PLACEHOLDER)

    for page, title in (("faq", "Frequently asked questions"), ("docs", "Manuals"), ("contact", "Support ticket")):
        with open(os.path.join(out, page, "index.html"), "w", encoding="utf-8") as f:
            f.write("<!doctype html><title>%s</title><h1>%s</h1>\n" % (title, title))


if __name__ == "__main__":
    main()

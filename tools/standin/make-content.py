#!/usr/bin/python3
"""Builds the stand-in's content folder from the demo catalogue: thumbnails
drawn here, the products' installer archives, the extraction tool, and the web
site's pages. Everything is generated or built; nothing is copied in.

usage: make-content.py OUTDIR [--data DIR] [--tool FILE --tool-url-path PATH]
                       [--stub STUB.exe --cache DIR [--trees DIR]]
                       [--manager-version 1.2.0 --content-origin URL [--signing-key KEY.pem]]

--tool serves the build's extraction tool at the address the manager pins.
--stub builds a real installer for each product (tools/installer/): a ZIP
holding the stub with a payload of plugin files built with mingw-w64 at the
catalogue's version, presets and samples; --trees keeps the folder trees the
installers were made from. Without --stub there are no installer archives.

--manager-version writes the manager's update manifests and payloads:
plugin-manager/latest.json announces that version itself (nothing to offer),
plugin-manager/offer/latest.json the next minor version, which the stand-in
serves in its place when started with --manager-update. Each manifest gets a
signature (latest.json.sig) made with --signing-key. The Linux payload is a
tiny x86-64 program; the Windows one a ZIP holding a Windows program (the
installer stub) under the manager's name.
"""
import argparse
import io
import json
import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "installer"))
import make_installer  # noqa: E402
import mingw_build  # noqa: E402
import manager_update  # noqa: E402  (beside this script)


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


def wav(seconds, frequency, rate=44100):
    """A short mono 16-bit sine tone."""
    count = int(seconds * rate)
    frames = b"".join(struct.pack("<h", int(12000 * math.sin(2 * math.pi * frequency * i / rate))) for i in range(count))
    header = struct.pack("<4sI4s4sIHHIIHH4sI", b"RIFF", 36 + len(frames), b"WAVE", b"fmt ", 16, 1, 1,
                         rate, rate * 2, 2, 16, b"data", len(frames))
    return header + frames


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data.encode("utf-8") if isinstance(data, str) else data)


def install_name(name):
    """The base name of the product's plugin files, as the manager derives it."""
    folder = name.replace(" ", "")
    return "KV77" if folder == "KV-77" else folder


def product_tree(tree, product, plugin):
    """Lays out one product's installer content under its destination constants.
    product["layout"] varies it: "vst2" lists the VST2 name suffixes ("" and
    "_x64"), "clap" a subfolder of the CLAP folder, "samples" where the samples
    go ("{code_getSampleFolder}" or "{commondocs}"), "library" how many small
    extra sample files it brings (enough to make unpacking take a while)."""
    name, version = product["name"], product.get("version", "1.0.0")
    layout = product.get("layout", {})
    base, folder = install_name(name), name.replace(" ", "")
    with open(plugin, "rb") as f:
        dll = f.read()

    for suffix in layout.get("vst2", [""]):
        write(os.path.join(tree, "{code_GetVST264}", base + suffix + ".dll"), dll)
    vst3 = os.path.join(tree, "{cf64}", "VST3", base + ".vst3", "Contents")
    write(os.path.join(vst3, "x86_64-win", base + ".vst3"), dll)
    write(os.path.join(vst3, "Resources", "moduleinfo.json"),
          json.dumps({"Name": name, "Version": version, "Vendor": "Quillotone"}, indent=2) + "\n")
    aax = os.path.join(tree, "{cf64}", "Avid", "Audio", "Plug-Ins", base + ".aaxplugin", "Contents")
    write(os.path.join(aax, "x64", base + ".aaxplugin"), dll)
    os.makedirs(os.path.join(aax, "Resources"), exist_ok=True)
    clap = os.path.join(tree, "{cf64}", "CLAP", *([layout["clap"]] if "clap" in layout else []))
    write(os.path.join(clap, base + ".clap"), dll)

    presets = os.path.join(tree, "{commondocs}", "Quillotone", "Presets", folder)
    for bank, names in (("Factory", ("Init", "Wide Open", "Late Night")), ("Artists", ("Glue", "Air"))):
        for i, preset in enumerate(names):
            write(os.path.join(presets, bank, preset + ".qpreset"),
                  '<?xml version="1.0" encoding="UTF-8"?>\n<PRESET product="%s" version="%s" name="%s" mix="%d"/>\n'
                  % (name, version, preset, 40 + 10 * i))

    samples = layout.get("samples")
    if samples:
        root = (os.path.join(tree, "{code_getSampleFolder}") if samples == "{code_getSampleFolder}"
                else os.path.join(tree, "{commondocs}", "Quillotone", "Samples", folder))
        for kit, notes in (("Kits", (110.0, 220.0)), ("Loops", (330.0,))):
            for note in notes:
                write(os.path.join(root, kit, "%s %d Hz.wav" % (kit[:-1], note)), wav(0.25, note))
        for i in range(layout.get("library", 0)):
            write(os.path.join(root, "Library", "%03d" % (i // 100), "Hit %05d.txt" % i), b"sample %d\n" % i)


def installer_zip(path, product, stub, cache, trees):
    """The download archive: a ZIP holding the product's installer program."""
    base = install_name(product["name"])
    with tempfile.TemporaryDirectory() as work:
        plugin = os.path.join(work, "plugin.dll")
        mingw_build.build_plugin(plugin, product.get("version", "1.0.0"), product["name"], cache)
        tree = os.path.join(trees or work, base)
        shutil.rmtree(tree, ignore_errors=True)
        product_tree(tree, product, plugin)
        setup = os.path.join(work, base + "Setup.exe")
        make_installer.write_installer(setup, stub, make_installer.entries_from_tree(tree))
        with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
            info = zipfile.ZipInfo(base + "Setup.exe", date_time=(2026, 1, 1, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(setup, "rb") as f:
                z.writestr(info, f.read())


def elf_program(message):
    """A minimal x86-64 Linux program: one loadable segment whose code writes
    the message to standard output and exits with 0."""
    base, text = 0x400000, message.encode("utf-8") + b"\n"
    code = (b"\xb8\x01\x00\x00\x00"                    # mov eax, 1 (write)
            b"\xbf\x01\x00\x00\x00"                    # mov edi, 1
            b"\x48\x8d\x35\x10\x00\x00\x00"            # lea rsi, [rip + 16]: the text after the code
            + b"\xba" + struct.pack("<I", len(text))      # mov edx, length
            + b"\x0f\x05"                                # syscall
            b"\xb8\x3c\x00\x00\x00"                    # mov eax, 60 (exit)
            b"\x31\xff"                                  # xor edi, edi
            b"\x0f\x05")                                 # syscall
    assert len(code) == 33
    total = 64 + 56 + len(code) + len(text)
    ident = b"\x7fELF\x02\x01\x01" + b"\x00" * 9
    header = struct.pack("<16sHHIQQQIHHHHHH", ident, 2, 62, 1, base + 120, 64, 0, 0, 64, 56, 1, 64, 0, 0)
    segment = struct.pack("<IIQQQQQQ", 1, 5, 0, base, base, total, total, 0x1000)
    return header + segment + code + text


def manager_updates(out, origin, current, stub, key):
    """The update manifests and payloads of the manager (see the module notes)."""
    major, minor, _ = (int(p) for p in current.split("."))
    newer = "%d.%d.0" % (major, minor + 1)
    root = os.path.join(out, "plugin-manager")

    def payloads(version):
        linux = elf_program("Quillotone Plugin Manager %s (stand-in update)" % version)
        platforms = {"linux": manager_update.publish(out, origin, version, "linux", linux)}
        if stub is not None:
            archive = io.BytesIO()
            with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
                info = zipfile.ZipInfo("Quillotone Plugin Manager.exe", date_time=(2026, 1, 1, 0, 0, 0))
                info.compress_type = zipfile.ZIP_DEFLATED
                z.writestr(info, stub)
            platforms["windows"] = manager_update.publish(out, origin, version, "windows", archive.getvalue())
        return manager_update.manifest(version, platforms)

    for folder, version in (("", current), ("offer", newer)):
        manifest = os.path.join(root, folder, "latest.json")
        write(manifest, json.dumps(payloads(version), indent=2) + "\n")
        if key:
            subprocess.run([sys.executable, os.path.join(HERE, "..", "sign-manager-manifest.py"), "sign", key, manifest],
                           check=True, stdout=subprocess.DEVNULL)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("outdir")
    parser.add_argument("--data", default=os.path.join(HERE, "demo"))
    parser.add_argument("--tool", help="the extraction tool to serve")
    parser.add_argument("--tool-url-path", help="where the manager fetches the tool, e.g. /plugin-manager/utils/linux/quillex")
    parser.add_argument("--stub", help="the installer stub; builds real installers")
    parser.add_argument("--cache", help="cache of the mingw-w64 builds (with --stub)")
    parser.add_argument("--trees", help="keeps the installers' folder trees here (with --stub)")
    parser.add_argument("--manager-version", help="the manager's version: writes its update manifests and payloads")
    parser.add_argument("--content-origin", help="the content server's origin the manager was built with")
    parser.add_argument("--signing-key", help="signs the update manifests (tools/sign-manager-manifest.py)")
    args = parser.parse_args()
    if (args.tool is None) != (args.tool_url_path is None) or (args.stub and not args.cache):
        parser.error("--tool needs --tool-url-path, and --stub needs --cache")
    if (args.manager_version is None) != (args.content_origin is None):
        parser.error("--manager-version needs --content-origin")
    stub = None
    if args.stub:
        with open(args.stub, "rb") as f:
            stub = f.read()

    with open(os.path.join(args.data, "catalogue.json"), encoding="utf-8") as f:
        catalogue = json.load(f)

    out = args.outdir
    for sub in ("thumbnails", "installers", "faq", "docs", "contact"):
        os.makedirs(os.path.join(out, sub), exist_ok=True)

    for product in catalogue["products"]:
        thumb = os.path.join(out, "thumbnails", product["thumbnail"])
        if not os.path.exists(thumb):
            with open(thumb, "wb") as f:
                f.write(thumbnail(tuple(product.get("colour", (120, 120, 120))), product["id"]))
        archive = os.path.join(out, "installers", product["installer"])
        if stub is not None and not os.path.exists(archive):
            installer_zip(archive, product, stub, args.cache, args.trees)
        # A later release of the product, served once the stand-in publishes it.
        newer = product.get("newer")
        if newer and stub is not None:
            archive = os.path.join(out, "installers", newer["installer"])
            if not os.path.exists(archive):
                installer_zip(archive, dict(product, version=newer["version"]), stub, args.cache, None)

    # What the stand-in serves in place of an archive to test a tool's
    # complaint: a ZIP whose program is not one of the maker's installers.
    with zipfile.ZipFile(os.path.join(out, "installers", "not-an-installer.zip"), "w") as z:
        z.writestr(zipfile.ZipInfo("NotAnInstallerSetup.exe", date_time=(2026, 1, 1, 0, 0, 0)), b"MZ but no installer\n")

    if args.tool:
        served = os.path.join(out, args.tool_url_path.lstrip("/"))
        os.makedirs(os.path.dirname(served), exist_ok=True)
        shutil.copyfile(args.tool, served)

    if args.manager_version:
        manager_updates(out, args.content_origin, args.manager_version, stub, args.signing_key)

    for page, title in (("faq", "Frequently asked questions"), ("docs", "Manuals"), ("contact", "Support ticket")):
        with open(os.path.join(out, page, "index.html"), "w", encoding="utf-8") as f:
            f.write("<!doctype html><title>%s</title><h1>%s</h1>\n" % (title, title))


if __name__ == "__main__":
    main()

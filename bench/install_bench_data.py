#!/usr/bin/python3
"""Builds the download archive of a product with about MB megabytes of plugin
and sample content, laid out as the maker's installers are (the four plugin
formats, presets, samples), for the install benchmark. Kept in WORKDIR once made.

With --archive-mib N the archive itself is about N MiB instead (within a few
KiB): less content, topped up with one incompressible sample file.

usage: install_bench_data.py STUB WORKDIR [--mb 300 | --archive-mib N]   (prints the archive's path)
"""
import argparse
import os
import sys
import tempfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "tools", "installer"))
import make_installer  # noqa: E402
from extractor_bench import MiB, audio, binary, write  # noqa: E402


def generate(tree, mb):
    scale = mb / 300.0
    plugin = binary(8 * MiB)
    write(os.path.join(tree, "{code_GetVST264}", "BenchVerb.dll"), plugin)
    write(os.path.join(tree, "{cf64}", "VST3", "BenchVerb.vst3", "Contents", "x86_64-win", "BenchVerb.vst3"), plugin)
    write(os.path.join(tree, "{cf64}", "Avid", "Audio", "Plug-Ins", "BenchVerb.aaxplugin", "Contents", "x64", "BenchVerb.aaxplugin"), plugin)
    write(os.path.join(tree, "{cf64}", "CLAP", "BenchVerb.clap"), plugin)
    for kit in range(max(1, int(17 * scale))):
        for sample in range(4):
            write(os.path.join(tree, "{code_getSampleFolder}", "Kit %02d" % kit, "Sample %02d.wav" % sample), audio(4 * MiB))
    for preset in range(max(1, int(2000 * scale))):
        text = "".join('<PARAM id="p%d" value="%d.%03d"/>\n' % (i, preset % 97, i * 37 % 1000) for i in range(90))
        write(os.path.join(tree, "{commondocs}", "Quillotone", "Presets", "BenchVerb", "Bank %02d" % (preset // 200),
                           "Preset %04d.qpreset" % preset), text.encode())


def build_archive(stub, tree, work, archive):
    installer = os.path.join(work, "BenchVerbSetup.exe")
    with open(stub, "rb") as f:
        make_installer.write_installer(installer, f.read(), make_installer.entries_from_tree(tree), 6)
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED, compresslevel=6) as z:
        z.write(installer, "BenchVerbSetup.exe")
    os.remove(installer)
    return os.path.getsize(archive)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("stub")
    parser.add_argument("workdir")
    parser.add_argument("--mb", type=int, default=300)
    parser.add_argument("--archive-mib", type=int)
    args = parser.parse_args()

    target = args.archive_mib * MiB if args.archive_mib else None
    archive = os.path.join(args.workdir, "BenchVerb-%dMiB.zip" % args.archive_mib if target else "BenchVerb-%d.zip" % args.mb)
    if not os.path.exists(archive):
        print("generating the product content and its archive (once)...", file=sys.stderr, flush=True)
        os.makedirs(args.workdir, exist_ok=True)
        with tempfile.TemporaryDirectory(dir=args.workdir) as work:
            tree = os.path.join(work, "tree")
            part = archive + ".part"
            # The content comes in steps of whole sample kits, so a size is hit
            # by packing about two thirds of it and topping up with random
            # bytes, which deflate stores at their own size.
            generate(tree, args.mb if target is None else max(1, args.archive_mib * 3 // 4))
            size = build_archive(args.stub, tree, work, part)
            if target is not None:
                if size > target:
                    sys.exit("install_bench_data.py: %d MiB of content packs larger than the archive asked for" % (size // MiB))
                write(os.path.join(tree, "{code_getSampleFolder}", "Kit 00", "Room Tone.wav"), os.urandom(target - size))
                build_archive(args.stub, tree, work, part)
        os.replace(part, archive)
    print(archive)


if __name__ == "__main__":
    main()

#!/usr/bin/python3
"""Builds the download archive of a product with about MB megabytes of plugin
and sample content, laid out as the maker's installers are (the four plugin
formats, presets, samples), for the install benchmark. Kept in WORKDIR once made.

usage: install_bench_data.py STUB WORKDIR [--mb 300]   (prints the archive's path)
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


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("stub")
    parser.add_argument("workdir")
    parser.add_argument("--mb", type=int, default=300)
    args = parser.parse_args()

    archive = os.path.join(args.workdir, "BenchVerb-%d.zip" % args.mb)
    if not os.path.exists(archive):
        print("generating %d MB of product content and its archive (once)..." % args.mb, file=sys.stderr, flush=True)
        os.makedirs(args.workdir, exist_ok=True)
        with tempfile.TemporaryDirectory(dir=args.workdir) as work:
            tree = os.path.join(work, "tree")
            generate(tree, args.mb)
            installer = os.path.join(work, "BenchVerbSetup.exe")
            with open(args.stub, "rb") as f:
                make_installer.write_installer(installer, f.read(), make_installer.entries_from_tree(tree), 6)
            with zipfile.ZipFile(archive + ".part", "w", zipfile.ZIP_DEFLATED, compresslevel=6) as z:
                z.write(installer, "BenchVerbSetup.exe")
        os.replace(archive + ".part", archive)
    print(archive)


if __name__ == "__main__":
    main()

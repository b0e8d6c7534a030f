#!/usr/bin/python3
"""Unpacks an installer holding about 300 MB of product content with quillex,
and a ZIP archive of the same files at the same deflate level with unzip, in
the same run, and prints the ratio of their times (goal: 1.1 or less).

The content mixes what products ship: 16-bit sample files, plugin binaries,
already-compressed resources and thousands of small presets. It is generated
once into WORKDIR and kept there with its installer and ZIP.

usage: extractor_bench.py QUILLEX STUB WORKDIR [--mb 300] [--rounds 5]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tools", "installer"))
import make_installer  # noqa: E402

MiB = 1 << 20
LEVEL = 6
# High bytes of quiet 16-bit audio: small values around zero.
QUIET = bytes((b % 16 - 8) & 0xFF for b in range(256))


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def audio(size):
    out = bytearray(size)
    out[0::2] = os.urandom((size + 1) // 2)
    out[1::2] = os.urandom(size // 2).translate(QUIET)
    return bytes(out)


def binary(size):
    """Half code-like noise, half padding and tables, in 64 KiB runs."""
    block = 64 * 1024
    return b"".join(os.urandom(block) if i % 2 else (b"\x00\x90" * (block // 2)) for i in range(size // block))


def generate(tree, mb):
    scale = mb / 300.0
    for kit in range(max(1, int(12 * scale))):
        for sample in range(4):
            write(os.path.join(tree, "{code_getSampleFolder}", "Bench", "Kit %02d" % kit, "Sample %02d.wav" % sample), audio(4 * MiB))
    for plugin in range(max(1, int(8 * scale))):
        write(os.path.join(tree, "{cf64}", "Bench", "Binaries", "plugin%02d.dll" % plugin), binary(8 * MiB))
    for resource in range(max(1, int(4 * scale))):
        write(os.path.join(tree, "{cf64}", "Bench", "Resources", "resource%02d.bin" % resource), os.urandom(8 * MiB))
    for preset in range(max(1, int(4000 * scale))):
        text = "".join('<PARAM id="p%d" value="%d.%03d"/>\n' % (i, preset % 97, i * 37 % 1000) for i in range(90))
        write(os.path.join(tree, "{commondocs}", "Quillotone", "Presets", "Bench", "Bank %02d" % (preset // 200),
                           "Preset %04d.qpreset" % preset), text.encode())


def prepare(work, stub, mb):
    tree = os.path.join(work, "tree-%d" % mb)
    installer = os.path.join(work, "bench-%d.exe" % mb)
    archive = os.path.join(work, "bench-%d.zip" % mb)
    done = os.path.join(work, "ready-%d" % mb)
    if os.path.exists(done):
        return tree, installer, archive
    shutil.rmtree(tree, ignore_errors=True)
    print("generating %d MB of content, its installer and its ZIP (once)..." % mb, flush=True)
    generate(tree, mb)
    entries = make_installer.entries_from_tree(tree)
    with open(stub, "rb") as f:
        make_installer.write_installer(installer, f.read(), entries, LEVEL)
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED, compresslevel=LEVEL) as z:
        for entry in entries:
            if entry.kind == "file":
                z.write(entry.source, entry.name)
    open(done, "w").close()
    return tree, installer, archive


def timed(command, out):
    shutil.rmtree(out, ignore_errors=True)
    os.sync()   # earlier writes are not charged to this run
    started = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - started


def tree_size(root):
    return sum(os.path.getsize(os.path.join(folder, name)) for folder, _, files in os.walk(root) for name in files)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("quillex")
    parser.add_argument("stub")
    parser.add_argument("workdir")
    parser.add_argument("--mb", type=int, default=300)
    parser.add_argument("--rounds", type=int, default=5)
    args = parser.parse_args()
    if shutil.which("unzip") is None:
        sys.exit("extractor_bench: unzip is missing")

    os.makedirs(args.workdir, exist_ok=True)
    tree, installer, archive = prepare(args.workdir, args.stub, args.mb)
    ours_out = os.path.join(args.workdir, "out-quillex")
    theirs_out = os.path.join(args.workdir, "out-unzip")
    ours_command = [args.quillex, "-x", installer, "-d" + ours_out, "-q", "-y"]
    theirs_command = ["unzip", "-q", "-o", archive, "-d", theirs_out]

    ours, theirs = [], []
    for round_number in range(args.rounds):
        # Alternate who goes first, so neither always finds a warmer system.
        if round_number % 2:
            theirs.append(timed(theirs_command, theirs_out))
            ours.append(timed(ours_command, ours_out))
        else:
            ours.append(timed(ours_command, ours_out))
            theirs.append(timed(theirs_command, theirs_out))

    content = tree_size(tree)
    if tree_size(ours_out) != content or tree_size(theirs_out) != content:
        sys.exit("extractor_bench: an unpacked tree does not match the content")
    for out in (ours_out, theirs_out):
        shutil.rmtree(out, ignore_errors=True)

    ours_median, theirs_median = statistics.median(ours), statistics.median(theirs)
    print("content %.0f MB; installer %.0f MB, ZIP %.0f MB" % (content / 1e6, os.path.getsize(installer) / 1e6, os.path.getsize(archive) / 1e6))
    print("quillex: median %.2f s, best %.2f s; unzip: median %.2f s, best %.2f s (%d rounds)"
          % (ours_median, min(ours), theirs_median, min(theirs), args.rounds))
    print("ratio quillex/unzip: %.2f (median), %.2f (best); goal 1.1 or less" % (ours_median / theirs_median, min(ours) / min(theirs)))


if __name__ == "__main__":
    main()

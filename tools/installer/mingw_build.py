#!/usr/bin/python3
"""Builds the maker-side Windows programs with Debian's mingw-w64: the
installer stub and the demo plugins (DLLs whose version resource carries a
product's version). Each result is cached under the hash of everything that
goes into it, so regenerating the demo content compiles nothing twice.

usage: mingw_build.py stub OUT --cache DIR
       mingw_build.py plugin OUT --version 1.2.0 --product NAME --cache DIR

MINGW_CC and MINGW_WINDRES name the tools when the defaults
(x86_64-w64-mingw32-gcc, x86_64-w64-mingw32-windres) are not the ones to use.
"""
import argparse
import functools
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
STUB_DIR = os.path.join(HERE, "stub")
PLUGIN_SOURCE = os.path.join(HERE, "demo-plugin", "DemoPlugin.c")
# No time stamp in the PE header: the same sources give the same bytes.
LINK_FLAGS = ["-s", "-Wl,--no-insert-timestamp"]


def _tools():
    return (os.environ.get("MINGW_CC", "x86_64-w64-mingw32-gcc"),
            os.environ.get("MINGW_WINDRES", "x86_64-w64-mingw32-windres"))


@functools.lru_cache(maxsize=None)
def _identity(program):
    return subprocess.run([program, "--version"], check=True, capture_output=True, text=True).stdout.splitlines()[0]


def _read(path):
    with open(path, "rb") as f:
        return f.read()


def _cached(out, cache, inputs, build):
    """Copies the cached result for these inputs to OUT, building it first when
    the cache has none. inputs: bytes or str pieces that decide the result."""
    digest = hashlib.sha256()
    for piece in inputs:
        digest.update(piece if isinstance(piece, bytes) else piece.encode("utf-8"))
        digest.update(b"\0")
    os.makedirs(cache, exist_ok=True)
    cached = os.path.join(cache, digest.hexdigest()[:32] + ".bin")
    if not os.path.exists(cached):
        with tempfile.TemporaryDirectory() as work:
            result = build(work)
            staged = cached + ".%d.tmp" % os.getpid()
            shutil.copyfile(result, staged)
            os.replace(staged, cached)
    os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)
    shutil.copyfile(cached, out)


def version_numbers(version):
    """Four 16-bit numbers from a dotted version, missing parts as 0."""
    parts = [int(p) if p.isdigit() else 0 for p in re.split(r"[.]", version.strip())][:4]
    parts += [0] * (4 - len(parts))
    return [min(p, 65535) for p in parts]


def build_stub(out, cache):
    cc, windres = _tools()
    sources = [_read(os.path.join(STUB_DIR, name)) for name in ("InstallerStub.c", "InstallerStub.rc", "InstallerStub.manifest")]

    def build(work):
        resource = os.path.join(work, "stub-res.o")
        subprocess.run([windres, "-I", STUB_DIR, "-i", os.path.join(STUB_DIR, "InstallerStub.rc"), "-o", resource], check=True)
        exe = os.path.join(work, "stub.exe")
        subprocess.run([cc, "-Os", "-municode", "-mwindows", *LINK_FLAGS, "-o", exe,
                        os.path.join(STUB_DIR, "InstallerStub.c"), resource], check=True)
        return exe

    _cached(out, cache, ["stub", _identity(cc), _identity(windres), *sources], build)


def plugin_resource(version, product):
    numbers = ",".join(str(n) for n in version_numbers(version))
    text = version.strip()
    return """1 VERSIONINFO
FILEVERSION %(numbers)s
PRODUCTVERSION %(numbers)s
FILEFLAGSMASK 0x3f
FILEOS 0x40004
FILETYPE 0x2
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040904B0"
    BEGIN
      VALUE "CompanyName", "Quillotone"
      VALUE "FileDescription", "%(product)s"
      VALUE "FileVersion", "%(text)s"
      VALUE "ProductName", "%(product)s"
      VALUE "ProductVersion", "%(text)s"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x409, 1200
  END
END
""" % {"numbers": numbers, "text": text.replace('"', ""), "product": product.replace('"', "")}


def build_plugin(out, version, product, cache):
    cc, windres = _tools()
    resource_text = plugin_resource(version, product)

    def build(work):
        rc = os.path.join(work, "plugin.rc")
        with open(rc, "w", encoding="utf-8") as f:
            f.write(resource_text)
        resource = os.path.join(work, "plugin-res.o")
        subprocess.run([windres, "-i", rc, "-o", resource], check=True)
        dll = os.path.join(work, "plugin.dll")
        subprocess.run([cc, "-O2", "-shared", *LINK_FLAGS, "-o", dll, PLUGIN_SOURCE, resource], check=True)
        return dll

    _cached(out, cache, ["plugin", _identity(cc), _identity(windres), _read(PLUGIN_SOURCE), resource_text], build)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("what", choices=("stub", "plugin"))
    parser.add_argument("out")
    parser.add_argument("--cache", required=True)
    parser.add_argument("--version", default="1.0.0")
    parser.add_argument("--product", default="Demo Plugin")
    args = parser.parse_args()
    try:
        if args.what == "stub":
            build_stub(args.out, args.cache)
        else:
            build_plugin(args.out, args.version, args.product, args.cache)
    except (OSError, subprocess.CalledProcessError) as error:
        sys.exit("mingw_build: %s" % error)


if __name__ == "__main__":
    main()

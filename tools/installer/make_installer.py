#!/usr/bin/python3
"""Builds the maker's installers: the installer stub (a small Windows program)
with a payload appended that carries files under destination-constant paths.
The format is described in tools/extractor/InstallerFormat.h; quillex unpacks it.

usage: make_installer.py --stub STUB.exe --tree DIR --out SETUP.exe [--level N]

DIR holds one folder per destination constant, each with the files that go
there: DIR/{cf64}/VST3/..., DIR/{commondocs}/Quillotone/Presets/..., and so on.
Empty folders are kept; links are refused.

As a module: Entry, entries_from_tree() and write_installer(), which the demo
content and the test fixtures use too.
"""
import argparse
import os
import re
import struct
import sys
import zlib

MAGIC = b"QLXPAYLD"
FORMAT_VERSION = 1
HEADER = struct.Struct("<8sIIQQQII")        # 48 bytes
RECORD = struct.Struct("<BBHIQQQ")          # 32 bytes, then the name
KINDS = {"file": 0, "folder": 1, "link": 2}
METHODS = {"stored": 0, "deflate": 8}
CHUNK = 1 << 20
CONSTANT = re.compile(r"^\{[A-Za-z][A-Za-z0-9_]*\}$")


class Entry:
    """One entry. Content comes from `source` (a file) or `data` (bytes). The
    other fields exist so that the test fixtures can describe hostile or broken
    installers; the maker never sets them."""

    def __init__(self, name, kind="file", source=None, data=b"", method=None,
                 declared_size=None, declared_crc=None, raw_name=None):
        self.name = name
        self.kind = kind
        self.source = source
        self.data = data
        self.method = method                # None: deflate unless that is larger
        self.declared_size = declared_size
        self.declared_crc = declared_crc
        self.raw_name = raw_name            # bytes, for names that are not UTF-8

    def chunks(self):
        if self.source is None:
            yield self.data
            return
        with open(self.source, "rb") as f:
            while True:
                block = f.read(CHUNK)
                if not block:
                    return
                yield block


def pe_image_end(data):
    """Where a PE image ends: the end of its last section's raw data."""
    if len(data) < 64 or data[:2] != b"MZ":
        raise ValueError("the stub is not a Windows program")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("the stub is not a Windows program")
    sections, = struct.unpack_from("<H", data, pe + 6)
    optional, = struct.unpack_from("<H", data, pe + 20)
    table = pe + 24 + optional
    end = table + 40 * sections
    for i in range(sections):
        raw_size, raw_pointer = struct.unpack_from("<II", data, table + 40 * i + 16)
        if raw_size:
            end = max(end, raw_pointer + raw_size)
    return end


def entries_from_tree(root):
    """The entries of a folder tree whose top folders are destination constants,
    in a fixed order, so the same tree always gives the same installer."""
    entries = []
    for top in sorted(os.listdir(root)):
        path = os.path.join(root, top)
        if not CONSTANT.match(top) or os.path.islink(path) or not os.path.isdir(path):
            raise ValueError("%s: the top level holds only folders named after destination constants, such as {cf64}" % path)
        for folder, dirs, files in os.walk(path):
            dirs.sort()
            relative = os.path.relpath(folder, root).replace(os.sep, "/")
            for name in dirs + files:
                if os.path.islink(os.path.join(folder, name)):
                    raise ValueError("%s: links cannot go into an installer" % os.path.join(folder, name))
            if not dirs and not files:
                entries.append(Entry(relative, "folder"))
            for name in sorted(files):
                entries.append(Entry(relative + "/" + name, source=os.path.join(folder, name)))
    return entries


def _write_content(out, entry, level):
    """Writes an entry's stored bytes; returns (method, stored size, size, crc)."""
    start = out.tell()
    size, crc = 0, 0
    if entry.method in (None, "deflate"):
        compressor = zlib.compressobj(level, zlib.DEFLATED, -15)
        for block in entry.chunks():
            size += len(block)
            crc = zlib.crc32(block, crc)
            out.write(compressor.compress(block))
        out.write(compressor.flush())
        stored = out.tell() - start
        if entry.method == "deflate" or stored < size:
            return "deflate", stored, size, crc
        out.seek(start)
        out.truncate()
    size, crc = 0, 0
    for block in entry.chunks():
        size += len(block)
        crc = zlib.crc32(block, crc)
        out.write(block)
    return "stored", size, size, crc


def write_installer(path, stub, entries, level=6):
    """Writes an installer: the stub's bytes, then the payload."""
    if pe_image_end(stub) != len(stub):
        raise ValueError("the stub has bytes after its image (strip it)")
    directory = bytearray()
    with open(path, "w+b") as out:
        out.write(stub)
        base = out.tell()
        out.write(b"\0" * HEADER.size)
        for entry in entries:
            offset = out.tell() - base
            if entry.kind == "file":
                method, stored, size, crc = _write_content(out, entry, level)
            elif entry.kind == "link":
                target = entry.data
                out.write(target)
                method, stored, size, crc = "stored", len(target), len(target), zlib.crc32(target)
            else:
                method, stored, size, crc = "stored", 0, 0, 0
            if entry.declared_size is not None:
                size = entry.declared_size
            if entry.declared_crc is not None:
                crc = entry.declared_crc
            name = entry.raw_name if entry.raw_name is not None else entry.name.encode("utf-8")
            directory += RECORD.pack(KINDS[entry.kind], METHODS[method], len(name), crc, offset, stored, size) + name
        directory_offset = out.tell() - base
        out.write(directory)
        payload_size = out.tell() - base + 4
        out.seek(base)
        out.write(HEADER.pack(MAGIC, FORMAT_VERSION, 0, payload_size, directory_offset, len(directory), len(entries), 0))
        out.seek(0)
        crc = 0
        while True:
            block = out.read(CHUNK)
            if not block:
                break
            crc = zlib.crc32(block, crc)
        out.seek(0, os.SEEK_END)
        out.write(struct.pack("<I", crc))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--stub", required=True, help="the installer stub program")
    parser.add_argument("--tree", required=True, help="folder with one folder per destination constant")
    parser.add_argument("--out", required=True, help="the installer to write")
    parser.add_argument("--level", type=int, default=6, help="deflate level, 1 to 9 (default 6)")
    args = parser.parse_args()
    try:
        with open(args.stub, "rb") as f:
            stub = f.read()
        write_installer(args.out, stub, entries_from_tree(args.tree), args.level)
    except (OSError, ValueError) as error:
        sys.exit("make_installer: %s" % error)


if __name__ == "__main__":
    main()

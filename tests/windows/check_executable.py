#!/usr/bin/python3
"""Checks the built Windows executable with an independent PE reader (Debian's
python3-pefile): a 64-bit GUI program that asks for elevation, carries the
version and an icon, and imports only DLLs every Windows has.

Usage: check_executable.py EXE VERSION
"""
import re
import sys

import pefile

# Anything outside this list would have to ship beside the executable.
SYSTEM_DLLS = {
    "advapi32.dll", "comctl32.dll", "comdlg32.dll", "crypt32.dll", "dwmapi.dll",
    "dxgi.dll", "gdi32.dll", "imm32.dll", "kernel32.dll", "msvcrt.dll",
    "ole32.dll", "oleaut32.dll", "opengl32.dll", "rpcrt4.dll", "setupapi.dll",
    "shell32.dll", "shlwapi.dll", "user32.dll", "uuid.dll", "version.dll",
    "winhttp.dll", "wininet.dll", "winmm.dll", "ws2_32.dll", "wsock32.dll", "iphlpapi.dll",
    "usp10.dll", "d2d1.dll", "dwrite.dll", "imagehlp.dll", "bcrypt.dll",
}

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24


def resources(pe, type_id):
    for entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if entry.id == type_id:
            for name in entry.directory.entries:
                for language in name.directory.entries:
                    data = language.data.struct
                    yield pe.get_data(data.OffsetToData, data.Size)


def version_strings(pe):
    found = {}
    for file_info in getattr(pe, "FileInfo", []):
        for info in file_info:
            for table in getattr(info, "StringTable", []):
                for key, value in table.entries.items():
                    found[key.decode()] = value.decode()
    return found


def main():
    exe, version = sys.argv[1], sys.argv[2]
    pe = pefile.PE(exe)
    problems = []

    if pe.OPTIONAL_HEADER.Magic != 0x20B:
        problems.append("not PE32+")
    if pe.FILE_HEADER.Machine != 0x8664:
        problems.append("not x86-64")
    if pe.OPTIONAL_HEADER.Subsystem != 2:
        problems.append("subsystem %d, not the Windows GUI" % pe.OPTIONAL_HEADER.Subsystem)

    manifests = list(resources(pe, RT_MANIFEST))
    if len(manifests) != 1:
        problems.append("%d manifests" % len(manifests))
    elif not re.search(rb'requestedExecutionLevel\s+level="requireAdministrator"', manifests[0]):
        problems.append("manifest does not request requireAdministrator")

    strings = version_strings(pe)
    for key in ("FileVersion", "ProductVersion"):
        if strings.get(key) != version:
            problems.append("%s is %r, expected %r" % (key, strings.get(key), version))

    fixed = pe.VS_FIXEDFILEINFO[0]
    numbers = [fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF, fixed.FileVersionLS >> 16]
    if ".".join(map(str, numbers)) != version:
        problems.append("fixed file version is %s" % numbers)

    if not list(resources(pe, RT_GROUP_ICON)) or not list(resources(pe, RT_ICON)):
        problems.append("no icon")

    imports = sorted(entry.dll.decode().lower() for entry in pe.DIRECTORY_ENTRY_IMPORT)
    foreign = [dll for dll in imports if dll not in SYSTEM_DLLS and not dll.startswith("api-ms-win-")]
    if foreign:
        problems.append("imports non-system DLLs: %s" % ", ".join(foreign))

    for problem in problems:
        print("%s: %s" % (exe, problem), file=sys.stderr)
    if problems:
        return 1

    print("%s: PE32+ GUI, requireAdministrator, version %s, icon, imports %s"
          % (exe, version, " ".join(imports)))
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
"""An independent reading of PE file versions, for comparison with the
portable reader: Debian's python3-pefile finds the version resource.

pefile is lenient by design: it reads what it can of a damaged file and
leaves judging it to the caller. So pefile finds the structures, and this
script applies the rules of the format a version reader must check: the
section table and the whole version resource lie in the file, the block's
length fits the resource, the fixed info is complete and signed.

Usage: pefile_oracle.py FILE...
  Prints one line per file, "FILE<TAB>VERSION", VERSION being the fixed file
  version as four dotted numbers, or nothing when the file has none.
"""
import os
import sys
import warnings

import pefile

RT_VERSION = 16
FIXED_FILE_INFO_SIGNATURE = 0xFEEF04BD
FIXED_FILE_INFO_SIZE = 52
VERSION_VALUE_OFFSET = 40   # three WORDs, the UTF-16 key, 32-bit alignment


def version_data_entry(pe):
    """The data entry of the first language of the first version resource."""
    resources = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for entry in getattr(resources, "entries", []):
        if entry.id == RT_VERSION:
            try:
                return entry.directory.entries[0].directory.entries[0].data.struct
            except (AttributeError, IndexError):
                return None
    return None


def file_version(path):
    size = os.path.getsize(path)
    try:
        pe = pefile.PE(path, fast_load=True)
        pe.parse_data_directories(
            directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    except (pefile.PEFormatError, OSError, ValueError):
        return ""

    fixed = getattr(pe, "VS_FIXEDFILEINFO", [])
    blocks = getattr(pe, "VS_VERSIONINFO", [])
    data = version_data_entry(pe)
    if not fixed or not blocks or data is None:
        return ""

    section_table_end = (pe.DOS_HEADER.e_lfanew + 4 + 20 + pe.FILE_HEADER.SizeOfOptionalHeader
                         + 40 * pe.FILE_HEADER.NumberOfSections)
    try:
        data_start = pe.get_offset_from_rva(data.OffsetToData)
    except pefile.PEFormatError:
        return ""

    info, block = fixed[0], blocks[0]
    if (section_table_end > size
            or data_start is None or data_start + data.Size > size
            or block.Length > data.Size
            or block.ValueLength < FIXED_FILE_INFO_SIZE
            or VERSION_VALUE_OFFSET + block.ValueLength > block.Length
            or info.Signature != FIXED_FILE_INFO_SIGNATURE):
        return ""

    return "%d.%d.%d.%d" % (info.FileVersionMS >> 16, info.FileVersionMS & 0xFFFF,
                            info.FileVersionLS >> 16, info.FileVersionLS & 0xFFFF)


def main():
    warnings.simplefilter("ignore")
    for path in sys.argv[1:]:
        print("%s\t%s" % (path, file_version(path)))


if __name__ == "__main__":
    main()

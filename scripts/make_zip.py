#!/usr/bin/python3
"""Writes a zip archive that is the same, byte for byte, whenever it is made
from the same files: entries in the order given, every one deflated with the
same time stamp, MS-DOS attributes and no extra fields. cmake/PackArchives.cmake
calls it, with the texts already as Windows users expect them.

Why not CMake's own zip writer: libarchive, behind both file(ARCHIVE_CREATE
... FORMAT zip) and CPack's ZIP generator, gives every entry a Unix extra
field with the builder's uid and gid, and the file's Unix permission bits,
and CMake 3.25 has no option to leave them out (with MTIME, the files' access
and change times stay in its time-stamp field too). Two users' builds of one
commit would differ, and each archive would carry its builder's user id.

usage: make_zip.py OUTPUT EPOCH NAME=PATH [NAME=PATH ...]
  EPOCH  seconds since 1970 (the commit's time), the entries' time stamp
  NAME   the entry's name in the archive, with / between folders
"""
import sys
import time
import zipfile


def main(args):
    if len(args) < 3:
        sys.stderr.write(__doc__)
        return 2
    output, epoch, entries = args[0], int(args[1]), args[2:]
    # A zip time stamp has two-second steps and no time zone: UTC is used.
    stamp = time.gmtime(max(epoch, 315532800))[:6]
    with zipfile.ZipFile(output, "w") as archive:
        for entry in entries:
            name, path = entry.split("=", 1)
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.create_system = 0
            info.external_attr = 0x20  # FILE_ATTRIBUTE_ARCHIVE
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(path, "rb") as source:
                archive.writestr(info, source.read(), compresslevel=9)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

#!/usr/bin/python3
"""Writes a zip archive that is the same, byte for byte, whenever it is made
from the same files: entries in the order given, every one with the same
time stamp, MS-DOS attributes and no extra fields.

Text files are written as a Windows user expects them: *.cmd and *.txt with
CRLF line ends, and a *.txt that is not plain ASCII with a UTF-8 byte-order
mark, so that every Notepad reads it as UTF-8. (cmd.exe must not see a
byte-order mark.)

usage: make_zip.py OUTPUT EPOCH NAME=PATH [NAME=PATH ...]
  EPOCH  seconds since 1970 (the commit's time), the entries' time stamp
  NAME   the entry's name in the archive, with / between folders
"""
import sys
import time
import zipfile


def Contents(name, path):
    with open(path, "rb") as source:
        data = source.read()
    lower = name.lower()
    if lower.endswith(".cmd") or lower.endswith(".txt"):
        data = data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
        if lower.endswith(".txt") and not data.isascii() and not data.startswith(b"\xef\xbb\xbf"):
            data = b"\xef\xbb\xbf" + data
    return data


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
            archive.writestr(info, Contents(name, path), compresslevel=9)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

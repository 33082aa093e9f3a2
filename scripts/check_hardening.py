#!/usr/bin/python3
"""Reads the hardening properties of release exes from their PE headers,
prints them as a table and fails if one that the exe must have is missing.

Read with pefile (Debian's python3-pefile), not with the linker that wrote
the exe. The rule numbers are BinSkim's, the rule set Microsoft checks its
own binaries against.

usage: check_hardening.py NAME EXE BUILD_DIR [NAME EXE BUILD_DIR ...]
  NAME       gcc or clang (the Clang exe must also be CET-compatible)
  BUILD_DIR  the build tree the exe came from; its object files for the
             program must call the stack-protector guard
"""
import glob
import os
import subprocess
import sys

import pefile

DYNAMIC_BASE = 0x0040
HIGH_ENTROPY_VA = 0x0020
NX_COMPAT = 0x0100
GUARD_CF = 0x4000
TERMINAL_SERVER_AWARE = 0x8000
RELOCS_STRIPPED = 0x0001
SCN_SHARED = 0x10000000
SCN_EXECUTE = 0x20000000
SCN_WRITE = 0x80000000
DEBUG_TYPE_EX_DLLCHARACTERISTICS = 20
EX_DLLCHARACTERISTICS_CET_COMPAT = 0x1


def SectionAt(pe, rva):
    for section in pe.sections:
        if section.VirtualAddress <= rva < section.VirtualAddress + max(section.Misc_VirtualSize,
                                                                       section.SizeOfRawData):
            return section
    return None


def SectionName(section):
    return section.Name.rstrip(b"\0").decode("ascii", "replace")


def DirectoryRva(pe, name):
    entry = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY[name]]
    return entry.VirtualAddress if entry.Size else None


def GuardCallers(build_dir):
    """How many of the program's object files call the stack-protector
    guard, out of how many."""
    objects = sorted(glob.glob(os.path.join(build_dir, "CMakeFiles", "dozemark*.dir", "**", "*.obj"),
                               recursive=True))
    callers = 0
    for path in objects:
        undefined = subprocess.run(["x86_64-w64-mingw32-nm", "-u", path], check=True, capture_output=True,
                                   text=True).stdout.split()
        if "__stack_chk_fail" in undefined or "__stack_chk_guard" in undefined:
            callers += 1
    return callers, len(objects)


def Properties(name, exe, build_dir):
    """(row, holds, detail, required) for each property of one exe."""
    pe = pefile.PE(exe)
    characteristics = pe.OPTIONAL_HEADER.DllCharacteristics
    rows = []

    base = pe.OPTIONAL_HEADER.ImageBase
    rows.append(("image base above 4 GB (BA2001)", base > 0xFFFFFFFF, "0x%X" % base, True))

    relocations = DirectoryRva(pe, "IMAGE_DIRECTORY_ENTRY_BASERELOC") is not None
    stripped = pe.FILE_HEADER.Characteristics & RELOCS_STRIPPED
    rows.append(("ASLR with relocations (BA2009)",
                 bool(characteristics & DYNAMIC_BASE) and relocations and not stripped,
                 "DYNAMIC_BASE, .reloc" if relocations else "no relocations", True))
    rows.append(("high-entropy VA (BA2015)", bool(characteristics & HIGH_ENTROPY_VA), "", True))
    rows.append(("NX (BA2016)", bool(characteristics & NX_COMPAT), "", True))

    import_sections = set()
    for directory in ("IMAGE_DIRECTORY_ENTRY_IMPORT", "IMAGE_DIRECTORY_ENTRY_IAT"):
        rva = DirectoryRva(pe, directory)
        if rva is not None:
            import_sections.add(SectionAt(pe, rva))
    executable_imports = [SectionName(s) for s in import_sections if s is None or s.Characteristics & SCN_EXECUTE]
    rows.append(("imports not executable (BA2010)", not executable_imports and bool(import_sections),
                 " ".join(sorted(SectionName(s) for s in import_sections if s)), True))
    writable_executable = [SectionName(s) for s in pe.sections
                           if s.Characteristics & SCN_WRITE and s.Characteristics & SCN_EXECUTE]
    rows.append(("no writable+executable section (BA2021)", not writable_executable,
                 " ".join(writable_executable), True))
    shared_writable = [SectionName(s) for s in pe.sections
                       if s.Characteristics & SCN_WRITE and s.Characteristics & SCN_SHARED]
    rows.append(("no shared writable section (BA2019)", not shared_writable, " ".join(shared_writable), True))

    # libssp seeds its guard with CryptGenRandom; the program's own objects
    # must call the guard too, or the runtime alone would pass this.
    seeded = False
    for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
        if entry.dll.decode("ascii").lower() == "advapi32.dll":
            seeded = any(i.name == b"CryptGenRandom" for i in entry.imports)
    callers, objects = GuardCallers(build_dir)
    rows.append(("stack protection (BA2011)", seeded and callers > 0,
                 "%s; guard called by %d of %d objects"
                 % ("seeded by advapi32's CryptGenRandom" if seeded else "no libssp seeding", callers, objects),
                 True))

    rows.append(("TERMINAL_SERVER_AWARE", bool(characteristics & TERMINAL_SERVER_AWARE), "", True))

    cet = False
    for entry in getattr(pe, "DIRECTORY_ENTRY_DEBUG", []):
        if entry.struct.Type == DEBUG_TYPE_EX_DLLCHARACTERISTICS and entry.struct.SizeOfData >= 4:
            flags = pe.get_dword_from_offset(entry.struct.PointerToRawData)
            cet = cet or bool(flags & EX_DLLCHARACTERISTICS_CET_COMPAT)
    rows.append(("CET shadow-stack compatible (BA2025)", cet,
                 "" if cet or name == "clang" else "GNU ld 2.40 cannot write it", name == "clang"))

    rows.append(("Control Flow Guard (BA2008)", bool(characteristics & GUARD_CF),
                 "" if characteristics & GUARD_CF else "needs mingw-w64 v11; Debian 12 has v10", False))
    return rows


def main(args):
    if not args or len(args) % 3:
        sys.stderr.write(__doc__)
        return 2
    exes = [args[i:i + 3] for i in range(0, len(args), 3)]
    columns = {name: Properties(name, exe, build_dir) for name, exe, build_dir in exes}
    names = [name for name, _, _ in exes]
    failures = []
    print("| property | " + " | ".join(names) + " |")
    print("| --- | " + " | ".join("---" for _ in names) + " |")
    for index, (row, _, _, _) in enumerate(columns[names[0]]):
        cells = []
        for name in names:
            _, holds, detail, required = columns[name][index]
            cells.append(("yes" if holds else "NO" if required else "no") + (" (%s)" % detail if detail else ""))
            if required and not holds:
                failures.append("%s: %s" % (name, row))
        print("| %s | %s |" % (row, " | ".join(cells)))
    for failure in failures:
        print("FAIL " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

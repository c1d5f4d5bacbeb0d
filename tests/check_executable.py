"""Checks that the 32-bit product loads on a bare Windows 95 or NT 4: PE32 for i386, console
subsystem 4.0, DLL imports only from KERNEL32, ADVAPI32, OLE32 and msvcrt.

Usage: check_executable.py OBJDUMP EXE"""

import re
import subprocess
import sys

ALLOWED = {"KERNEL32.DLL", "ADVAPI32.DLL", "OLE32.DLL", "MSVCRT.DLL"}


def main():
    objdump, exe = sys.argv[1], sys.argv[2]
    dump = subprocess.run([objdump, "-p", exe], check=True, stdout=subprocess.PIPE,
                          universal_newlines=True).stdout
    problems = []

    def expect(pattern, what):
        if not re.search(pattern, dump, re.MULTILINE):
            problems.append(what)

    expect(r"file format pei-i386$", "not a PE32 file for i386")
    expect(r"^Magic\s+010b\s+\(PE32\)$", "optional header is not PE32")
    expect(r"^Subsystem\s+00000003\s+\(Windows CUI\)$", "not a console program")
    expect(r"^MajorSubsystemVersion\s+4$", "subsystem major version is not 4")
    expect(r"^MinorSubsystemVersion\s+0$", "subsystem minor version is not 0")
    dlls = {name.upper() for name in re.findall(r"DLL Name: (\S+)", dump)}
    if not dlls:
        problems.append("no DLL imports found")
    if dlls - ALLOWED:
        problems.append("imports from other DLLs: " + ", ".join(sorted(dlls - ALLOWED)))
    for problem in problems:
        print("FAIL:", problem)
    print("imports:", ", ".join(sorted(dlls)))
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()

"""Checks that the 32-bit product loads on a bare Windows 95 or NT 4: PE32 for i386, console
subsystem 4.0, DLL imports only from KERNEL32, ADVAPI32, OLE32 and msvcrt, and from each of them
the functions the program calls.

Usage: check_executable.py OBJDUMP EXE"""

import re
import subprocess
import sys

ALLOWED = {"KERNEL32.DLL", "ADVAPI32.DLL", "OLE32.DLL", "MSVCRT.DLL"}
# Functions each subsystem calls, which must come from the DLL that has them on every Windows: a
# build that lost one (linked from elsewhere, or compiled away) is not the product.
REQUIRED_IMPORTS = {
    "KERNEL32.DLL": ["FindFirstFileA", "FindNextFileA", "FindClose", "GetShortPathNameA", "GetDriveTypeA",
                     "SetFileAttributesA", "MoveFileExA", "GetWindowsDirectoryA", "GetVersionExA",
                     "GetTickCount", "CreateFileA", "DeviceIoControl", "CloseHandle"],
    "ADVAPI32.DLL": ["RegOpenKeyExA", "RegQueryValueA", "RegQueryValueExA", "RegSetValueA",
                     "RegDeleteValueA", "RegCloseKey"],
    "OLE32.DLL": ["CoFileTimeToDosDateTime"],
    "MSVCRT.DLL": ["fopen", "remove", "rename", "_fullpath"],
}


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
    imports = imports_by_dll(dump)
    for dll, functions in sorted(REQUIRED_IMPORTS.items()):
        missing = [name for name in functions if name not in imports.get(dll, set())]
        if missing:
            problems.append("not imported from %s: %s" % (dll, ", ".join(missing)))
    for problem in problems:
        print("FAIL:", problem)
    print("imports:", ", ".join(sorted(dlls)))
    sys.exit(1 if problems else 0)


def imports_by_dll(dump):
    """The function names objdump lists under each "DLL Name:" line, by upper-cased DLL name."""
    imports = {}
    current = None
    for line in dump.splitlines():
        named = re.match(r"\s*DLL Name: (\S+)", line)
        if named:
            current = imports.setdefault(named.group(1).upper(), set())
            continue
        entry = re.match(r"\s*[0-9a-f]+\s+\d+\s+(\S+)$", line)
        if current is not None and entry:
            current.add(entry.group(1))
        elif not line.strip():
            current = None
    return imports


if __name__ == "__main__":
    main()

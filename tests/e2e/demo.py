"""A demonstration for newcomers: the Windows tool at work in a throwaway Wine prefix.

Drive D: holds one generated worm file per detectable variant, a read-only one and one held open by
another process; the registry holds the worm's entries. The tool runs, then the prefix restarts and
the file that was in use is gone. Everything lives in the folder given as --work.

Usage: demo.py --exe EXE --hold-file EXE --make-worm PROGRAM --work DIR"""

import argparse
import os
import sys

import winetest
from winetest import FIXED, REMOTE, WORM_ROWS, make_worm

INFECTED_REGISTRY = r"""[HKEY_CLASSES_ROOT\txtfile\shell\open\command]
@="winrpc.exe %1"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Run]
"syshelp"="C:\\WINDOWS\\SYSTEM\\syshelp.exe"
"WinGate initialize"="C:\\WINDOWS\\SYSTEM\\wingate.exe"
"Module Call initialize"="C:\\WINDOWS\\SYSTEM\\modcall.exe"

[HKEY_CURRENT_USER\Software\Microsoft\Windows NT\CurrentVersion\Windows]
"Run"="rpcsrv.exe"
"""


def say(text):
    print("\n=== " + text, flush=True)


def main():
    parser = argparse.ArgumentParser()
    for option in ("--exe", "--hold-file", "--make-worm", "--work"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    winetest.EXE, winetest.HOLD_FILE = os.path.abspath(args.exe), os.path.abspath(args.hold_file)
    winetest.MAKE_WORM, winetest.WORK = os.path.abspath(args.make_worm), os.path.abspath(args.work)

    say("Making a Wine prefix with C: (network, Windows itself) and D: (fixed)")
    prefix = winetest.Prefix("demo", {"c": REMOTE, "d": FIXED})
    try:
        drive = prefix.drive_path("d")
        os.makedirs(os.path.join(drive, "GAMES", "OLD"))
        for number, variant in enumerate(sorted(WORM_ROWS)):
            make_worm(os.path.join(drive, "GAMES", "WORM%d.EXE" % number), variant, seed=number + 1)
        make_worm(os.path.join(drive, "GAMES", "OLD", "LOCKED.EXE"), "DROPPED", seed=99)
        os.chmod(os.path.join(drive, "GAMES", "OLD", "LOCKED.EXE"), 0o444)
        make_worm(os.path.join(drive, "RUNNING.EXE"), "C", seed=42)
        with open(os.path.join(drive, "GAMES", "README.TXT"), "w") as f:
            f.write("a clean file\n")
        prefix.import_registry(INFECTED_REGISTRY)
        for root, _, files in os.walk(drive):
            for name in sorted(files):
                path = os.path.join(root, name)
                print("  D:\\%s  (%d bytes)" % (os.path.relpath(path, drive).replace("/", "\\"),
                                                  os.path.getsize(path)))

        say("Running ventrel-remover.exe while D:\\RUNNING.EXE is held open by another process")
        with prefix.held("D:\\RUNNING.EXE"):
            result = prefix.wine(["C:\\ventrel-remover.exe"], check=False)
        sys.stdout.write(result.stdout.decode("latin-1").replace("\r\n", "\n"))
        running = os.path.join(drive, "RUNNING.EXE")
        print("\nD:\\RUNNING.EXE still there before the restart: %s" % os.path.exists(running))

        say("Restarting the prefix (wineboot -r)")
        prefix.restart()
        print("D:\\RUNNING.EXE still there after the restart: %s" % os.path.exists(running))
        print("Text-file open command now: %s" % prefix.reg_query("HKCR\\txtfile\\shell\\open\\command", ""))
    finally:
        prefix.close()


if __name__ == "__main__":
    main()

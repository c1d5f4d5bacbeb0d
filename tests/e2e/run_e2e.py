"""End-to-end tests: the win64 build under Wine.

Usage: run_e2e.py --exe EXE --hold-file EXE --make-worm PROGRAM --work DIR [--module test_x.py]"""

import argparse
import os
import shutil
import sys
import unittest

import winetest


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True, help="the win64 build of the tool")
    parser.add_argument("--hold-file", required=True, help="the win64 hold_file helper")
    parser.add_argument("--make-worm", required=True, help="the native vr_make_worm_file program")
    parser.add_argument("--work", required=True, help="where prefixes are made")
    parser.add_argument("--module", default="test_*.py", help="the test module(s) to run")
    args = parser.parse_args()
    # A run that cannot reach its tools fails; it never passes by testing nothing.
    for tool in ("wine", "wineboot", "wineserver"):
        if shutil.which(tool) is None:
            sys.exit("end-to-end tests need %s (Debian packages wine and wine64)" % tool)
    for path in (args.exe, args.hold_file, args.make_worm):
        if not os.path.isfile(path):
            sys.exit("end-to-end tests need %s, which is missing" % path)
    winetest.EXE = os.path.abspath(args.exe)
    winetest.HOLD_FILE = os.path.abspath(args.hold_file)
    winetest.MAKE_WORM = os.path.abspath(args.make_worm)
    winetest.WORK = os.path.abspath(args.work)
    os.makedirs(winetest.WORK, exist_ok=True)
    here = os.path.dirname(os.path.abspath(__file__))
    suite = unittest.defaultTestLoader.discover(here, pattern=args.module, top_level_dir=here)
    if suite.countTestCases() == 0:
        sys.exit("no end-to-end test found in %s" % args.module)
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()

"""End-to-end tests: the win64 build under Wine. Usage: run_e2e.py --exe EXE --work DIR [unittest args]"""

import argparse
import os
import shutil
import sys
import unittest

import winetest


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--work", required=True)
    args, rest = parser.parse_known_args()
    # A run that cannot reach its tools fails; it never passes by testing nothing.
    for tool in ("wine", "wineboot", "wineserver"):
        if shutil.which(tool) is None:
            sys.exit("end-to-end tests need %s (Debian packages wine and wine64)" % tool)
    if not os.path.isfile(args.exe):
        sys.exit("end-to-end tests need the win64 build: %s is missing" % args.exe)
    winetest.EXE = os.path.abspath(args.exe)
    winetest.WORK = os.path.abspath(args.work)
    os.makedirs(winetest.WORK, exist_ok=True)
    here = os.path.dirname(os.path.abspath(__file__))
    suite = unittest.defaultTestLoader.discover(here, pattern="test_*.py", top_level_dir=here)
    if suite.countTestCases() == 0:
        sys.exit("no end-to-end test found")
    result = unittest.TextTestRunner(verbosity=2).run(unittest.TestSuite([suite]) if not rest else suite)
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()

"""The run sequence on a machine whose C: is a network drive, D: and F: fixed and E: a CD-ROM."""

import os
import unittest

import winetest
from winetest import CDROM, FIXED, REMOTE


class RunSequence(unittest.TestCase):
    def setUp(self):
        self.prefix = winetest.Prefix("run", {"c": REMOTE, "d": FIXED, "e": CDROM, "f": FIXED})
        os.makedirs(os.path.join(self.prefix.drive_path("d"), "DATA"))

    def tearDown(self):
        self.prefix.close()

    def check(self, expected_name, *args):
        out, code = self.prefix.run_tool(*args)
        winetest.check_transcript(self, expected_name, out)
        self.assertEqual(0, code)

    def test_no_argument_scans_fixed_drives_only(self):
        self.check("no_argument")

    def test_empty_argument_examines_no_drive(self):
        self.check("empty_argument", "")

    def test_path_argument_is_scanned_whatever_its_drive(self):
        self.check("path_argument", "D:\\DATA")


if __name__ == "__main__":
    unittest.main()

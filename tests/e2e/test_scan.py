"""The scan end to end: infected files among clean ones and decoys on two fixed drives, a read-only
one, a path naming one file, and files that are in use, removed at the next restart on both Windows
families."""

import os
import unittest

import winetest
from winetest import FIXED, REMOTE, make_worm

SESSION_MANAGER = "HKLM\\System\\CurrentControlSet\\Control\\Session Manager"


def find_no_case(folder, name):
    """The entry of `folder` whose name is `name` in any case, as Windows would find it; or None."""
    return next((entry for entry in os.listdir(folder) if entry.lower() == name.lower()), None)


class Scan(unittest.TestCase):
    def tearDown(self):
        self.prefix.close()

    def new_prefix(self, drives):
        self.prefix = winetest.Prefix("scan", drives)
        return self.prefix

    def write(self, windows_path, data):
        path = self.prefix.host_path(windows_path)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)

    def worm(self, windows_path, variant, seed=1):
        path = self.prefix.host_path(windows_path)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        make_worm(path, variant, seed)

    def exists(self, windows_path):
        return os.path.exists(self.prefix.host_path(windows_path))

    def check_run(self, expected_name, *args):
        out, code = self.prefix.run_tool(*args)
        winetest.check_transcript(self, expected_name, out)
        self.assertEqual(0, code)

    def test_infected_files_are_removed_and_decoys_kept(self):
        self.new_prefix({"c": REMOTE, "d": FIXED, "f": FIXED})
        # One infected file per folder and one subfolder per folder, so the listing order of the
        # host cannot change the transcript.
        self.worm("D:\\WORM.EXE", "DROPPED")
        self.write("D:\\readme.txt", b"clean text\r\n")
        self.write("D:\\DECOY.EXE", bytes(77824))         # a signature size, another CRC
        self.write("D:\\BIG.EXE", b"\x4d\x5a" * 53504)    # 107008 bytes: never read
        self.write("D:\\EMPTY.EXE", b"")
        self.worm("D:\\SUB\\VARIANT.EXE", "C")
        os.chmod(self.prefix.host_path("D:\\SUB\\VARIANT.EXE"), 0o444)  # read-only
        self.write("D:\\SUB\\notes.txt", b"notes")
        self.worm("D:\\SUB\\DEEP\\PLAIN.EXE", "row10")
        self.worm("F:\\WIN\\SYS.EXE", "row6", seed=7)
        self.write("F:\\WIN\\clean.dll", b"MZ" + bytes(100))
        self.worm("F:\\ONE.EXE", "row9")

        # A path naming one infected file: only that file is tested.
        self.check_run("scan_one_file", "F:\\ONE.EXE")
        self.assertFalse(self.exists("F:\\ONE.EXE"))

        self.check_run("scan_two_drives")
        for removed in ("D:\\WORM.EXE", "D:\\SUB\\VARIANT.EXE", "D:\\SUB\\DEEP\\PLAIN.EXE", "F:\\WIN\\SYS.EXE"):
            self.assertFalse(self.exists(removed), removed)
        for kept in ("D:\\readme.txt", "D:\\DECOY.EXE", "D:\\BIG.EXE", "D:\\EMPTY.EXE", "D:\\SUB\\notes.txt",
                     "F:\\WIN\\clean.dll"):
            self.assertTrue(self.exists(kept), kept)

    def test_file_in_use_is_removed_at_restart_on_nt(self):
        self.new_prefix({"c": REMOTE, "d": FIXED})
        self.worm("D:\\HELD.EXE", "row7")
        with self.prefix.held("D:\\HELD.EXE"):
            self.check_run("scan_held_file")
        pending = self.prefix.reg_query(SESSION_MANAGER, "PendingFileRenameOperations")
        self.assertIsNotNone(pending)
        self.assertIn("\\??\\D:\\HELD.EXE", pending)
        self.assertTrue(self.exists("D:\\HELD.EXE"))
        self.prefix.restart()
        self.assertFalse(self.exists("D:\\HELD.EXE"))

    def test_file_in_use_is_removed_at_restart_on_windows_98(self):
        self.new_prefix({"c": REMOTE, "d": FIXED})
        self.prefix.import_registry("[HKEY_CURRENT_USER\\Software\\Wine]\n\"Version\"=\"win98\"\n")
        self.worm("D:\\HELD.EXE", "row7")
        with self.prefix.held("D:\\HELD.EXE"):
            self.check_run("scan_held_file")
        windows = os.path.join(self.prefix.path, "drive_c", "windows")
        with open(os.path.join(windows, find_no_case(windows, "wininit.ini")), "rb") as f:
            self.assertEqual(b"[rename]\r\nNUL=D:\\HELD.EXE\r\n", f.read())
        self.assertIsNone(self.prefix.reg_query(SESSION_MANAGER, "PendingFileRenameOperations"))
        self.prefix.restart()
        self.assertFalse(self.exists("D:\\HELD.EXE"))
        self.assertIsNone(find_no_case(windows, "wininit.ini"))
        self.assertIsNotNone(find_no_case(windows, "wininit.bak"))


if __name__ == "__main__":
    unittest.main()

"""The registry repair under Wine: an infected registry, the same registry once repaired, and
values of odd types and sizes. Each run's whole transcript is compared, then the registry is read
back with ``reg query``."""

import unittest

import winetest
from winetest import REMOTE

COMMAND = r"HKEY_CLASSES_ROOT\txtfile\shell\open\command"
RUN = r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Run"
USER_WINDOWS = r"HKEY_CURRENT_USER\Software\Microsoft\Windows NT\CurrentVersion\Windows"


class Registry(unittest.TestCase):
    def setUp(self):
        # No fixed drive: the run does its registry phase and scans nothing.
        self.prefix = winetest.Prefix("registry", {"c": REMOTE})

    def tearDown(self):
        self.prefix.close()

    def add(self, key, name, kind, data):
        """Sets a value with ``reg add``; name None is the key's default value."""
        target = ["/ve"] if name is None else ["/v", name]
        self.prefix.wine(["reg", "add", key] + target + ["/t", kind, "/d", data, "/f"])

    def query(self, key, name):
        """The value's (type, data) as ``reg query`` shows it, or None when it is absent."""
        target = ["/ve"] if name is None else ["/v", name]
        result = self.prefix.wine(["reg", "query", key] + target, check=False)
        if result.returncode != 0:
            return None
        for line in result.stdout.decode("latin-1").replace("\r\n", "\n").split("\n"):
            if line.startswith("    "):
                fields = line[4:].split("    ", 2)
                return fields[1], fields[2] if len(fields) > 2 else ""
        self.fail("reg query printed no value for %s %s: %r" % (key, name, result.stdout))

    def check_run(self, expected_name):
        out, code = self.prefix.run_tool()
        winetest.check_transcript(self, expected_name, out)
        self.assertEqual(0, code)

    def test_infected_registry_is_repaired_and_a_second_run_finds_it_clean(self):
        self.add(COMMAND, None, "REG_SZ", "winrpc.exe %1")
        self.add(RUN, "syshelp", "REG_SZ", r"C:\WINDOWS\SYSTEM\syshelp.exe")
        self.add(RUN, "WinGate initialize", "REG_EXPAND_SZ", r"%windir%\wingate.exe")
        self.add(RUN, "Module Call initialize", "REG_DWORD", "1")
        self.add(RUN, "Keep", "REG_SZ", r"C:\keep.exe")
        self.add(USER_WINDOWS, "Run", "REG_SZ", "rpcsrv.exe")
        self.add(USER_WINDOWS, "Load", "REG_SZ", "")

        self.check_run("registry_infected")
        self.assertEqual(("REG_SZ", "NOTEPAD.EXE %1"), self.query(COMMAND, None))
        for name in ("syshelp", "WinGate initialize", "Module Call initialize", "Run"):
            key = USER_WINDOWS if name == "Run" else RUN
            self.assertIsNone(self.query(key, name), name)
        self.assertEqual(("REG_SZ", r"C:\keep.exe"), self.query(RUN, "Keep"))
        self.assertEqual(("REG_SZ", ""), self.query(USER_WINDOWS, "Load"))

        # Now clean, with a user value that only resembles the worm's: every check reports the key
        # OK or the value not found, and nothing changes.
        self.add(USER_WINDOWS, "Run", "REG_SZ", "RPCSRV.EXE")
        self.check_run("registry_clean")
        self.assertEqual(("REG_SZ", "NOTEPAD.EXE %1"), self.query(COMMAND, None))
        self.assertEqual(("REG_SZ", r"C:\keep.exe"), self.query(RUN, "Keep"))
        self.assertEqual(("REG_SZ", "RPCSRV.EXE"), self.query(USER_WINDOWS, "Run"))

    def test_odd_values_long_data_is_kept_other_types_are_judged_by_their_data(self):
        self.add(COMMAND, None, "REG_SZ", "WINRPC.EXE %1")
        self.add(RUN, "syshelp", "REG_SZ", "s" * 599)
        self.add(RUN, "WinGate initialize", "REG_BINARY", "00ff")
        self.add(RUN, "Module Call initialize", "REG_MULTI_SZ", r"a.exe\0b.exe")
        self.add(USER_WINDOWS, "Run", "REG_MULTI_SZ", r"rpcsrv.exe\0other.exe")

        self.check_run("registry_odd")
        self.assertEqual(("REG_SZ", "NOTEPAD.EXE %1"), self.query(COMMAND, None))
        self.assertEqual(("REG_SZ", "s" * 599), self.query(RUN, "syshelp"))
        self.assertIsNone(self.query(RUN, "WinGate initialize"))
        self.assertIsNone(self.query(RUN, "Module Call initialize"))
        self.assertIsNone(self.query(USER_WINDOWS, "Run"))


if __name__ == "__main__":
    unittest.main()

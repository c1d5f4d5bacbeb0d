"""Runs the Windows build in throwaway Wine prefixes and compares its whole output.

One base prefix is made per run (``wineboot -i``, about 6 s); each scenario copies it, gives it only
the drives it asks for, runs the tool and ends the prefix's wineserver.
"""

import contextlib
import fcntl
import os
import re
import shutil
import subprocess
import tempfile

# Set by run_e2e.py.
EXE = None        # the win64 build under test
HOLD_FILE = None  # the win64 helper that keeps a file open without delete sharing
MAKE_WORM = None  # the native program that makes worm files
WORK = None       # where prefixes are made

# Signature rows by the name of their variant, as (size, CRC-32); only these can be detected.
WORM_ROWS = {
    "DROPPED": (77824, 0x58272A4F),
    "C": (78848, 0xACB63D88),
    "row6": (84992, 0x40A884EC),
    "row7": (77312, 0x5836E16D),
    "row8": (84992, 0xFE8AB2C8),
    "row9": (81920, 0xA2B6C559),
    "row10": (41984, 0xCA4CDED4),
}
HERE = os.path.dirname(os.path.abspath(__file__))

BUILD_LINE = "Build date:  hh:mm:ss;Mmm dd yyyy\n"
_BUILD_PATTERN = re.compile(
    r"Build date:  [0-2][0-9]:[0-5][0-9]:[0-5][0-9];"
    r"(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 1-3][0-9] [0-9]{4}\n")

BASE_ENV = dict(os.environ, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=", DISPLAY="")


# A drawing of the progress line; how many there are depends on the clock. The clearing of the line
# (three spaces after the second carriage return) is not one and stays.
_PROGRESS_PATTERN = re.compile(r"\r {73}\r[^\r\n]{1,70}\.\.\.")


def normalize(raw):
    """Standard output as text: CR LF becomes LF (a lone CR stays), the build line its placeholder,
    and the progress drawings are gone."""
    text = raw.replace(b"\r\n", b"\n").decode("latin-1")
    text = _PROGRESS_PATTERN.sub("", text)
    return _BUILD_PATTERN.sub(BUILD_LINE, text, count=1)


def expected(name):
    with open(os.path.join(HERE, "expected", name + ".txt"), "rb") as f:
        return f.read().decode("latin-1")


def check_transcript(testcase, name, out):
    """Compares a normalised transcript with tests/e2e/expected/NAME.txt. With VR_E2E_RECORD=1 in
    the environment the file is written instead, for a developer to read and commit."""
    if os.environ.get("VR_E2E_RECORD") == "1":
        with open(os.path.join(HERE, "expected", name + ".txt"), "wb") as f:
            f.write(out.encode("latin-1"))
    testcase.assertEqual(expected(name), out)


def _run(args, env, check=True, **kwargs):
    result = subprocess.run(args, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kwargs)
    if check and result.returncode != 0:
        raise RuntimeError("%s failed (%d): %s" % (" ".join(args), result.returncode,
                                                   result.stderr.decode("latin-1", "replace")))
    return result


def base_prefix():
    """The prefix every scenario starts from, made once and kept in WORK. Scenario modules run side
    by side, so the first one makes it while the others wait on the lock."""
    base = os.path.join(WORK, "base")
    ready = os.path.join(base, ".ready")
    with open(os.path.join(WORK, "base.lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not os.path.exists(ready):
            shutil.rmtree(base, ignore_errors=True)
            os.makedirs(base)
            env = dict(BASE_ENV, WINEPREFIX=base)
            _run(["wineboot", "-i"], env)
            _run(["wineserver", "-w"], env)
            open(ready, "w").close()
    return base


def make_worm(path, variant, seed=1):
    """Makes, at `path`, a file the tool takes for the worm file of `variant` (a WORM_ROWS key)."""
    size, crc = WORM_ROWS[variant]
    _run([MAKE_WORM, path, str(size), "0x%08X" % crc, str(seed)], BASE_ENV)


# Wine's names for the drive types it can be told in HKLM\Software\Wine\Drives.
FIXED, REMOTE, CDROM, REMOVABLE, RAMDISK = "hd", "network", "cdrom", "floppy", "ramdisk"


class Prefix:
    """A throwaway copy of the base prefix with only the drives a scenario gives it.

    ``c:`` always stays: it holds Wine's own Windows folder. Every other drive, ``z:`` included, is
    removed unless the scenario names it; a named drive gets an empty folder of its own in the
    scenario's folder, reachable as ``prefix.drive_path(letter)``.
    """

    def __init__(self, name, drives):
        self.root = tempfile.mkdtemp(prefix=name + "-", dir=WORK)
        self.path = os.path.join(self.root, "prefix")
        _run(["cp", "-a", base_prefix(), self.path], BASE_ENV)
        self.env = dict(BASE_ENV, WINEPREFIX=self.path)
        dosdevices = os.path.join(self.path, "dosdevices")
        for entry in os.listdir(dosdevices):
            if entry != "c:":
                os.remove(os.path.join(dosdevices, entry))
        lines = []
        for letter, kind in sorted(drives.items()):
            letter = letter.lower()
            if letter != "c":
                folder = os.path.join(self.root, "drive_" + letter)
                os.makedirs(folder)
                os.symlink(folder, os.path.join(dosdevices, letter + ":"))
            lines.append('"%s:"="%s"' % (letter, kind))
        self.import_registry("[HKEY_LOCAL_MACHINE\\Software\\Wine\\Drives]\n" + "\n".join(lines) + "\n")
        shutil.copy(EXE, os.path.join(self.path, "drive_c", "ventrel-remover.exe"))

    def drive_path(self, letter):
        if letter.lower() == "c":
            return os.path.join(self.path, "drive_c")
        return os.path.join(self.root, "drive_" + letter.lower())

    def import_registry(self, body):
        # Without z: the prefix cannot see host paths, so the file goes where C: finds it.
        with open(os.path.join(self.path, "drive_c", "seed.reg"), "w", newline="\r\n") as f:
            f.write("REGEDIT4\n\n" + body)
        self.wine(["regedit", "/S", "C:\\seed.reg"])

    def wine(self, args, check=True):
        return _run(["wine"] + args, self.env, check=check, cwd=os.path.join(self.path, "drive_c"))

    def run_tool(self, *args):
        """Runs the tool with `args`; returns its normalised standard output and exit code."""
        result = self.wine(["C:\\ventrel-remover.exe"] + list(args), check=False)
        return normalize(result.stdout), result.returncode

    def host_path(self, windows_path):
        """The host file behind a path on one of the prefix's drives ("D:\\SUB\\X.EXE")."""
        letter, rest = windows_path[0], windows_path[3:]
        return os.path.join(self.drive_path(letter), *[part for part in rest.split("\\") if part])

    @contextlib.contextmanager
    def held(self, windows_path):
        """Keeps the file open in another Wine process, readable but not deletable, for the block."""
        shutil.copy(HOLD_FILE, os.path.join(self.path, "drive_c", "hold_file.exe"))
        holder = subprocess.Popen(["wine", "C:\\hold_file.exe", windows_path], env=self.env,
                                  cwd=os.path.join(self.path, "drive_c"), stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        try:
            line = holder.stdout.readline()
            if line.strip() != b"held":
                raise RuntimeError("hold_file did not open %s: %r %r" % (windows_path, line, holder.stderr.read()))
            yield
        finally:
            holder.stdin.close()
            holder.wait(timeout=60)

    def restart(self):
        """Restarts the prefix's Windows, which carries out the deletions scheduled for the restart."""
        self.wine(["wineboot", "-r"])
        _run(["wineserver", "-w"], self.env)

    def reg_query(self, key, value):
        """The data of one registry value as `reg query` prints it, or None when it is absent; the
        value "" is the key's default value."""
        selector = ["/ve"] if value == "" else ["/v", value]
        result = self.wine(["reg", "query", key] + selector, check=False)
        if result.returncode != 0:
            return None
        shown = value if value else "(Default)"
        for line in result.stdout.decode("latin-1").splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) >= 2 and parts[0].lower() == shown.lower() and parts[1].startswith("REG_"):
                return parts[2] if len(parts) == 3 else ""
        return None

    def close(self):
        _run(["wineserver", "-k"], self.env, check=False)
        shutil.rmtree(self.root, ignore_errors=True)

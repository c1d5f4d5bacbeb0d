"""Runs the Windows build in throwaway Wine prefixes and compares its whole output.

One base prefix is made per run (``wineboot -i``, about 6 s); each scenario copies it, gives it only
the drives it asks for, runs the tool and ends the prefix's wineserver.
"""

import os
import re
import shutil
import subprocess
import tempfile

EXE = None    # set by run_e2e.py: the win64 build under test
WORK = None   # set by run_e2e.py: where prefixes are made
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


def _run(args, env, check=True, **kwargs):
    result = subprocess.run(args, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kwargs)
    if check and result.returncode != 0:
        raise RuntimeError("%s failed (%d): %s" % (" ".join(args), result.returncode,
                                                   result.stderr.decode("latin-1", "replace")))
    return result


def base_prefix():
    """The prefix every scenario starts from, made once and kept in WORK."""
    base = os.path.join(WORK, "base")
    ready = os.path.join(base, ".ready")
    if os.path.exists(ready):
        return base
    shutil.rmtree(base, ignore_errors=True)
    os.makedirs(base)
    env = dict(BASE_ENV, WINEPREFIX=base)
    _run(["wineboot", "-i"], env)
    _run(["wineserver", "-w"], env)
    open(ready, "w").close()
    return base


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

    def close(self):
        _run(["wineserver", "-k"], self.env, check=False)
        shutil.rmtree(self.root, ignore_errors=True)

"""Checks of the release artefacts, one ctest entry per command:

  release_checks.py archive --source DIR --version X.Y --work DIR
      runs `scripts/release --no-build`, then checks the archive's listing, its two programs and
      the CR LF line ends of its README.TXT; an archive whose inputs are missing must not be made
  release_checks.py install --build DIR --work DIR
      installs the native build into a fresh prefix and runs the installed tool on a small folder
  release_checks.py lint PAGE
      lints the manual page with groff and mandoc

A check that cannot run (a missing tool, build or program) fails; it never passes quietly."""

import argparse
import os
import re
import shutil
import struct
import subprocess
import sys
import zipfile

ARCHIVE_MEMBERS = {
    # name in the archive -> (build it must be, PE machine type)
    "ventrel-remover.exe": ("build/win32/ventrel-remover.exe", 0x014C),      # i386
    "ventrel-remover-x64.exe": ("build/win64/ventrel-remover.exe", 0x8664),  # x86-64
    "README.TXT": (None, None),
}

# Sections a user needs from README.TXT: a render that stops early loses them.
README_SECTIONS = ["NAME", "RUNNING IT", "WHAT IT PRINTS", "RESTART", "EXIT STATUS", "NOTES"]


class Failure(Exception):
    pass


def main():
    parser = argparse.ArgumentParser()
    commands = parser.add_subparsers(dest="command", required=True)
    archive = commands.add_parser("archive")
    archive.add_argument("--source", required=True)
    archive.add_argument("--version", required=True)
    archive.add_argument("--work", required=True)
    install = commands.add_parser("install")
    install.add_argument("--build", required=True)
    install.add_argument("--work", required=True)
    lint = commands.add_parser("lint")
    lint.add_argument("page")
    args = parser.parse_args()
    try:
        {"archive": check_archive, "install": check_install, "lint": check_lint}[args.command](args)
    except Failure as failure:
        print("FAIL:", failure)
        sys.exit(1)
    print("OK")


def check_archive(args):
    source = os.path.abspath(args.source)
    work = fresh_folder(args.work)
    output = os.path.join(work, "release")
    made = run([os.path.join(source, "scripts", "release"), "--no-build", "--output", output])
    expect(made.returncode == 0, "scripts/release failed:\n" + made.stdout)
    name = "ventrel-remover-%s-win.zip" % args.version
    path = os.path.join(output, name)
    expect(os.path.isfile(path), "scripts/release did not make %s:\n%s" % (name, made.stdout))
    expect(made.stdout.strip().endswith(path), "scripts/release does not name the archive it made")

    with zipfile.ZipFile(path) as archive:
        names = archive.namelist()
        expect(sorted(names) == sorted(ARCHIVE_MEMBERS),
               "the archive holds %s, not %s" % (sorted(names), sorted(ARCHIVE_MEMBERS)))
        for member, (build, machine) in ARCHIVE_MEMBERS.items():
            data = archive.read(member)
            if member == "README.TXT":
                check_readme(data, args.version)
                continue
            expect(pe_machine(data) == machine,
                   "%s is built for machine 0x%04x, not 0x%04x" % (member, pe_machine(data), machine))
            with open(os.path.join(source, build), "rb") as built:
                expect(data == built.read(), "%s is not the program of %s" % (member, build))

    # Packing with one program missing must fail, naming what is missing, and make no archive.
    missing = os.path.join(work, "absent", "ventrel-remover.exe")
    configured = run(["cmake", "-S", os.path.join(source, "packaging"), "-B", os.path.join(work, "incomplete"),
                      "-DVR_WIN32_EXE=" + missing,
                      "-DVR_WIN64_EXE=" + os.path.join(source, "build/win64/ventrel-remover.exe")])
    expect(configured.returncode != 0, "packaging was configured without the 32-bit program")
    expect("VR_WIN32_EXE" in configured.stdout, "the refusal does not name the missing program:\n"
           + configured.stdout)


def check_readme(data, version):
    """README.TXT is plain ASCII text with CR LF line ends that Notepad shows as it is."""
    expect(data.endswith(b"\r\n"), "README.TXT does not end with CR LF")
    expect(data.count(b"\n") == data.count(b"\r\n"), "README.TXT has line feeds without a carriage return")
    expect(data.count(b"\r") == data.count(b"\r\n"), "README.TXT has carriage returns without a line feed")
    stray = sorted({byte for byte in data if byte > 126 or (byte < 32 and byte not in b"\r\n")})
    expect(not stray, "README.TXT holds bytes other than printable ASCII: %s" % stray)
    lines = data.decode("ascii").split("\r\n")[:-1]
    long_lines = [line for line in lines if len(line) > 80]
    expect(not long_lines, "README.TXT has lines longer than 80 characters: %s" % long_lines[:3])
    # Markup the rendering did not consume shows up as roff escapes or an unfilled placeholder.
    leftovers = [line for line in lines if re.search(r"\\f[BIRP]|\\[(&%]|@[A-Z_]+@", line)]
    expect(not leftovers, "README.TXT shows unrendered markup: %s" % leftovers[:3])
    expect(lines and lines[0].startswith("VENTREL-REMOVER(1)"), "README.TXT does not start with its title")
    for section in README_SECTIONS:
        expect(section in lines, "README.TXT has no section %s" % section)
    banner = "I-Worm/Ventrel Remover v" + version
    expect(any(line.strip() == banner for line in lines), "README.TXT does not show the banner " + banner)


def pe_machine(data):
    """The machine field of a PE file's COFF header, or None when `data` is no PE file."""
    if len(data) < 64 or data[:2] != b"MZ":
        return None
    offset = struct.unpack_from("<I", data, 0x3C)[0]
    if data[offset:offset + 4] != b"PE\0\0":
        return None
    return struct.unpack_from("<H", data, offset + 4)[0]


def check_install(args):
    build = os.path.abspath(args.build)
    work = fresh_folder(args.work)
    prefix = os.path.join(work, "prefix")
    installed = run(["cmake", "--install", build, "--prefix", prefix])
    expect(installed.returncode == 0, "cmake --install failed:\n" + installed.stdout)
    tool = os.path.join(prefix, "bin", "ventrel-remover")
    expect(os.path.isfile(tool) and os.access(tool, os.X_OK), "no executable bin/ventrel-remover")
    page = os.path.join(prefix, "share", "man", "man1", "ventrel-remover.1")
    expect(os.path.isfile(page), "no share/man/man1/ventrel-remover.1")
    with open(page, encoding="ascii") as text:
        content = text.read()
    expect(content.count(".TH VENTREL-REMOVER 1 ") == 1 and "@PROJECT_VERSION@" not in content,
           "the installed manual page is not the configured page")

    # A small folder, always named on the command line: a run without a path scans the host.
    folder = os.path.join(work, "scan-me")
    for relative, size in (("a.txt", 10), ("sub/b.bin", 77824), ("sub/deeper/c.dat", 0)):
        os.makedirs(os.path.dirname(os.path.join(folder, relative)), exist_ok=True)
        with open(os.path.join(folder, relative), "wb") as fixture:
            fixture.write(b"x" * size)
    from_prefix = run_tool(tool, folder, work)
    from_build = run_tool(os.path.join(build, "ventrel-remover"), folder, work)
    expect(from_prefix == from_build,
           "the installed tool prints otherwise than the build:\n%r\n%r" % (from_prefix, from_build))

    lines = from_prefix.split("\n")
    expect(lines[0].startswith("I-Worm/Ventrel Remover v"), "no banner: %r" % lines[0])
    scanning = [line for line in lines if "Scanning drive" in line]
    expect(scanning == ["Scanning drive %s..." % folder], "not one scan of the folder alone: %r" % scanning)
    summaries = re.findall(r"\rScan done: (\d+) directories, (\d+) files, 0 infected, 0 removed\n", from_prefix)
    expect(len(summaries) == 1, "not one clean summary line:\n%r" % from_prefix)
    expect(from_prefix.endswith("All done (checked %s files).\n" % summaries[0][1]),
           "the verdict does not close the run with the files counted:\n%r" % from_prefix[-200:])


def run_tool(tool, folder, cwd):
    try:
        result = subprocess.run([tool, folder], cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                timeout=120)
    except subprocess.TimeoutExpired:
        raise Failure("%s %s did not finish within 120 s" % (tool, folder))
    expect(result.returncode == 0, "%s exited with %d" % (tool, result.returncode))
    expect(result.stderr == b"", "%s wrote to standard error: %r" % (tool, result.stderr))
    return result.stdout.decode("latin-1")


def check_lint(args):
    expect(os.path.isfile(args.page), "no manual page at %s" % args.page)
    for command in (["groff", "-man", "-ww", "-z", "-Tutf8", args.page],
                    ["mandoc", "-T", "lint", "-W", "all", args.page]):
        linted = run(command)
        expect(linted.returncode == 0 and linted.stdout == "",
               "%s finds faults:\n%s" % (command[0], linted.stdout))


def fresh_folder(path):
    path = os.path.abspath(path)
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


def run(command):
    """Runs `command`, standard error merged into standard output; a missing program fails."""
    try:
        return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              universal_newlines=True)
    except OSError as error:
        raise Failure("cannot run %s: %s" % (command[0], error))


def expect(condition, message):
    if not condition:
        raise Failure(message)


if __name__ == "__main__":
    main()

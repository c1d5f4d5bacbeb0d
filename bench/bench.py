#!/usr/bin/env python3
"""The scan-speed benchmark. bench/run builds what it needs and calls this; see README.md.

Full run: times, on a warm cache and side by side, the native tool scanning a synthetic tree given
as a path (standard output to a file), the reference walker, `find -size` and `fd --size`; prints
medians and ratios to the reference walker, the tool's peak resident memory on the tree and on one
twice its size, and which files the tool opened (strace); then times the win64 build under Wine on
a smaller tree against `cmd /c dir /s /b` under the same Wine.

--smoke: a tiny tree, one run of the tool and of the reference walker, and a check that both saw
the same directories and files and that the tool removed exactly the worm files. No timing.
"""

import argparse
import json
import os
import re
import shlex
import shutil
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import make_tree  # noqa: E402

SUMMARY = re.compile(rb"Scan done: (\d+) directories, (\d+) files, (\d+) infected, (\d+) removed")
REFERENCE = re.compile(rb"(\d+) directories, (\d+) files")


def main():
    parser = argparse.ArgumentParser(description="scan-speed benchmark")
    parser.add_argument("--tool", required=True, help="the native build of the tool")
    parser.add_argument("--worm-maker", required=True, help="vr_make_worm_file")
    parser.add_argument("--work", required=True, help="folder for trees, programs and results")
    parser.add_argument("--cc", default="cc", help="C compiler for the reference walker")
    parser.add_argument("--files", type=int, default=200000)
    parser.add_argument("--dirs", type=int, default=0, help="default: a tenth of --files")
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--warmup", type=int, default=3)
    parser.add_argument("--win64", help="the win64 build, to time under Wine")
    parser.add_argument("--wine-files", type=int, default=20000)
    parser.add_argument("--smoke", action="store_true")
    args = parser.parse_args()
    args.tool = os.path.abspath(args.tool)
    args.worm_maker = os.path.abspath(args.worm_maker)
    args.work = os.path.abspath(args.work)
    os.makedirs(args.work, exist_ok=True)
    refwalk = build_reference_walker(args.cc, args.work)
    if args.smoke:
        smoke(args, refwalk)
    else:
        full(args, refwalk)


def build_reference_walker(cc, work):
    program = os.path.join(work, "refwalk")
    run([cc, "-O2", "-Wall", "-Wextra", "-o", program, os.path.join(HERE, "refwalk.c")])
    return program


def run(args, **kwargs):
    result = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kwargs)
    if result.returncode != 0:
        sys.exit("%s failed (%d): %s" % (" ".join(args), result.returncode,
                                         result.stderr.decode("utf-8", "replace")))
    return result


def tree_of(args, files, dirs=0):
    """The tree of `files` files in the work folder, made unless an earlier run left it."""
    dirs = dirs or max(make_tree.MAX_DEPTH, files // 10)
    tree = os.path.join(args.work, "tree-%d" % files)
    try:
        with open(tree + ".json") as f:
            manifest = json.load(f)
        if manifest["request"] == {"files": files, "dirs": dirs, "seed": 1} and os.path.isdir(tree):
            make_tree.restore(tree)
            return tree, manifest
    except (OSError, ValueError, KeyError):
        pass
    print("making %s (%d files, %d directories) ..." % (tree, files, dirs), flush=True)
    return tree, make_tree.make_tree(tree, args.worm_maker, files, dirs, 1)


def scan_summary(tool, tree, out_path):
    with open(out_path, "wb") as out:
        subprocess.run([tool, tree], stdout=out, check=True)
    with open(out_path, "rb") as f:
        found = SUMMARY.findall(f.read())
    if len(found) != 1:
        sys.exit("the tool printed no single scan summary (see %s)" % out_path)
    return tuple(int(n) for n in found[0])


def smoke(args, refwalk):
    tree, manifest = tree_of(args, 300, 30)
    directories, files, infected, removed = scan_summary(args.tool, tree, os.path.join(args.work, "tool.out"))
    make_tree.restore(tree)
    counted = REFERENCE.search(run([refwalk, tree]).stdout)
    expected = (manifest["directories"], manifest["files"])
    problems = []
    if (int(counted.group(1)), int(counted.group(2))) != expected:
        problems.append("reference walker counted %s, the tree has %s" % (counted.groups(), expected))
    if (directories, files) != expected:
        problems.append("tool counted %d directories and %d files, the tree has %s" % (directories, files, expected))
    if infected != len(manifest["worms"]) or removed != infected:
        problems.append("tool found %d and removed %d worm files of %d" % (infected, removed, len(manifest["worms"])))
    if problems:
        sys.exit("\n".join(problems))
    print("smoke: tool and reference walker agree on %d directories and %d files; %d worm files removed"
          % (directories, files, removed))


def full(args, refwalk):
    for tool in ("hyperfine", "fdfind", "find", "strace", "/usr/bin/time"):
        if shutil.which(tool) is None:
            sys.exit("the benchmark needs %s (scripts/ensure-packages bench)" % tool)
    tree, manifest = tree_of(args, args.files, args.dirs)
    restore = "%s %s restore %s" % (shlex.quote(sys.executable), shlex.quote(os.path.join(HERE, "make_tree.py")),
                                    shlex.quote(tree))
    out = os.path.join(args.work, "tool.out")
    q = shlex.quote
    commands = [
        ("tool", "%s %s > %s" % (q(args.tool), q(tree), q(out)), restore),
        ("reference walker", "%s %s" % (q(refwalk), q(tree)), "true"),
        ("find -size", "find %s -type f -size 77824c" % q(tree), "true"),
        ("fd --size", "fdfind --unrestricted --type f --size 77824b . %s" % q(tree), "true"),
    ]
    lines = ["Native scan of %d directories and %d files (%s)" % (manifest["directories"], manifest["files"], tree),
             ""]
    lines += timing_table(args, commands, "reference walker", os.path.join(args.work, "native.json"))

    lines += ["", "Peak resident memory (KiB, the largest of 3 runs):"]
    double, double_manifest = tree_of(args, 2 * args.files, 2 * (args.dirs or args.files // 10))
    for label, walked in (("tree", tree), ("tree x2", double)):
        tool_kib = peak_kib([args.tool, walked], os.path.join(args.work, "rss.out"))
        make_tree.restore(walked)
        ref_kib = peak_kib([refwalk, walked], os.devnull)
        lines.append("  %-8s tool %6d   reference walker %6d" % (label, tool_kib, ref_kib))

    lines += ["", opened_files(args.tool, tree, manifest)]
    make_tree.restore(tree)
    if args.win64:
        lines += [""] + wine_timing(args)
    report = "\n".join(lines) + "\n"
    with open(os.path.join(args.work, "report.txt"), "w") as f:
        f.write(report)
    print(report, end="")


def timing_table(args, commands, reference, json_path, runs=None, warmup=None):
    hyperfine = ["hyperfine", "--style", "basic", "--warmup", str(args.warmup if warmup is None else warmup),
                 "--runs", str(runs or args.runs), "--export-json", json_path]
    for name, command, prepare in commands:
        hyperfine += ["--command-name", name, "--prepare", prepare, command]
    print("timing: %s" % ", ".join(name for name, _, _ in commands), flush=True)
    subprocess.run(hyperfine, check=True, stdout=subprocess.DEVNULL)
    with open(json_path) as f:
        results = {r["command"]: r for r in json.load(f)["results"]}
    base = statistics.median(results[reference]["times"])
    lines = ["  %-22s %10s %8s %10s %10s" % ("command", "median s", "ratio", "user s", "system s")]
    for name, _, _ in commands:
        r = results[name]
        median = statistics.median(r["times"])
        lines.append("  %-22s %10.3f %8.2f %10.3f %10.3f" % (name, median, median / base, r["user"], r["system"]))
    lines.append("  (%d runs each after %d warm-up runs; ratio = median / median of the %s;"
                 " user and system are means)" % (runs or args.runs, args.warmup if warmup is None else warmup,
                                                 reference))
    return lines


def peak_kib(command, out_path):
    peaks = []
    for _ in range(3):
        with open(out_path, "wb") as out:
            result = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, stdout=out, stderr=subprocess.PIPE,
                                    check=True)
        peaks.append(int(result.stderr.decode().strip().splitlines()[-1]))
    return max(peaks)


def opened_files(tool, tree, manifest):
    """Which files below the tree the tool opened for reading, by the system calls it made."""
    log = os.path.join(os.path.dirname(tree), "strace.log")
    with open(os.devnull, "wb") as out:
        subprocess.run(["strace", "-f", "-qq", "-e", "trace=open,openat", "-o", log, tool, tree], stdout=out,
                       check=True)
    opened = []
    listings = 0
    pattern = re.compile(r'open(?:at)?\((?:[^,]+, )?"([^"]*)", ([A-Z_|]+)')
    with open(log) as f:
        for line in f:
            match = pattern.search(line)
            if match is None or not (match.group(1) + "/").startswith(tree + "/"):
                continue
            flags = match.group(2).split("|")
            if "O_DIRECTORY" in flags:
                listings += 1
            elif "O_PATH" not in flags:
                opened.append(os.path.relpath(match.group(1), tree))
    expected = sorted(manifest["candidates"])
    verdict = "exactly the files of a readable signature size" if sorted(opened) == expected else \
        "NOT only the files of a readable signature size: %s" % sorted(set(opened) ^ set(expected))
    return ("Files opened by the tool (strace): %d folder listings, %d files read, %s (%d of them in the tree)"
            % (listings, len(opened), verdict, len(expected)))


def wine_timing(args):
    """The win64 build under Wine on a smaller tree, against `cmd /c dir /s /b` in the same prefix."""
    sys.path.insert(0, os.path.join(os.path.dirname(HERE), "tests", "e2e"))
    import winetest
    winetest.EXE = os.path.abspath(args.win64)
    winetest.WORK = os.path.join(args.work, "wine")
    os.makedirs(winetest.WORK, exist_ok=True)
    prefix = winetest.Prefix("bench", {"d": winetest.FIXED})
    try:
        drive = prefix.drive_path("d")
        os.rmdir(drive)
        made = make_tree.make_tree(drive, args.worm_maker, args.wine_files, max(8, args.wine_files // 10), 1)
        restore = "%s %s restore %s" % (shlex.quote(sys.executable),
                                        shlex.quote(os.path.join(HERE, "make_tree.py")), shlex.quote(drive))
        out = os.path.join(args.work, "wine-tool.out")
        listing = os.path.join(args.work, "wine-dir.out")
        # One wineserver for all runs, as on a machine where Wine is already up; ended below.
        os.environ.update(prefix.env)
        server = subprocess.Popen(["wineserver", "-f", "-p"], env=prefix.env, stderr=subprocess.DEVNULL)
        try:
            commands = [
                ("wine start-up", "wine cmd /c rem", "true"),
                ("tool under Wine", "wine 'C:\\ventrel-remover.exe' 'D:\\' > %s" % shlex.quote(out), restore),
                ("cmd /c dir /s /b", "wine cmd /c dir /s /b 'D:\\' > %s" % shlex.quote(listing), "true"),
            ]
            lines = ["win64 build under Wine, drive D: of %d directories and %d files"
                     % (made["directories"], made["files"]), ""]
            lines += timing_table(args, commands, "cmd /c dir /s /b", os.path.join(args.work, "wine.json"),
                                  runs=max(3, args.runs // 2), warmup=1)
        finally:
            subprocess.run(["wineserver", "-k"], env=prefix.env)
            server.wait()
        return lines
    finally:
        prefix.close()


if __name__ == "__main__":
    main()

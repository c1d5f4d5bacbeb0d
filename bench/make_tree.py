#!/usr/bin/env python3
"""Makes the synthetic tree the scan benchmark walks.

    make_tree.py TREE --worm-maker PROGRAM [--files N] [--dirs D] [--seed S]
    make_tree.py restore TREE

Directories are 1 to 8 deep, files 0 to 4096 bytes. The clean files are sparse: a walk reads only
their size, and a tree of 200,000 of them then costs no data blocks. Besides them the tree holds
files of every signature size with contents no row has, which the tool must open and judge clean,
and a few worm files made by PROGRAM (the test support's vr_make_worm_file). Since the tool deletes
what it finds, the worm files are also kept beside the tree, in TREE.worms/, and `restore` puts
them back before each timed run of the tool. TREE.json describes what was made.
"""

import argparse
import json
import os
import random
import shutil
import subprocess
import sys
import zlib

MAX_DEPTH = 8
MAX_CLEAN_SIZE = 4096
# Size and CRC-32 of every signature row; only the rows at most 100000 bytes long are ever read.
ROWS = [(77824, 0x58272A4F), (78848, 0xACB63D88), (107008, 0xD28AB6B9), (172842, 0x69480FA2),
        (107008, 0xB8D92DC8), (84992, 0x40A884EC), (77312, 0x5836E16D), (84992, 0xFE8AB2C8),
        (81920, 0xA2B6C559), (41984, 0xCA4CDED4)]
READ_LIMIT = 100000
DECOYS_PER_SIZE = 5
WORM_ROWS = [0, 1, 9]  # one file each of rows 1, 2 and 10
EXTENSIONS = ["txt", "dll", "exe", "dat", "ini", "htm", "jpg", "sys", "log", "cfg"]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("tree")
    parser.add_argument("--worm-maker", required=True)
    parser.add_argument("--files", type=int, default=200000)
    parser.add_argument("--dirs", type=int, default=20000)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    if args.files < len(WORM_ROWS) or args.dirs < MAX_DEPTH:
        sys.exit("make_tree: need at least %d files and %d directories" % (len(WORM_ROWS), MAX_DEPTH))
    manifest = make_tree(os.path.abspath(args.tree), args.worm_maker, args.files, args.dirs, args.seed)
    print("made %s: %d directories, %d files (%d of a signature size, %d worm files)" % (
        args.tree, manifest["directories"], manifest["files"], len(manifest["candidates"]),
        len(manifest["worms"])))


def make_tree(tree, worm_maker, files, dirs, seed):
    rng = random.Random(seed)
    for old in (tree, tree + ".worms"):
        shutil.rmtree(old, ignore_errors=True)
    os.makedirs(tree)
    os.makedirs(tree + ".worms")

    # A chain down to the deepest level first, so every depth is there; then each new directory
    # goes below a random one that still has room, which keeps most of them a few levels down.
    folders = [("", 0)]
    for number in range(dirs):
        if number < MAX_DEPTH:
            parent = folders[-1]
        else:
            parent = rng.choice(folders)
            while parent[1] >= MAX_DEPTH:
                parent = rng.choice(folders)
        path = os.path.join(parent[0], "d%05d" % number)
        os.mkdir(os.path.join(tree, path))
        folders.append((path, parent[1] + 1))

    def place(number):
        folder = rng.choice(folders)[0]
        return os.path.join(folder, "f%06d.%s" % (number, rng.choice(EXTENSIONS)))

    crcs = {crc for _, crc in ROWS}
    candidates = []
    worms = []
    special = sorted({size for size, _ in ROWS}) * DECOYS_PER_SIZE
    clean = files - len(special) - len(WORM_ROWS)
    if clean < 0:
        special = special[:files - len(WORM_ROWS)]
        clean = 0
    number = 0
    for _ in range(clean):
        path = place(number)
        number += 1
        fd = os.open(os.path.join(tree, path), os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
        os.ftruncate(fd, rng.randint(0, MAX_CLEAN_SIZE))
        os.close(fd)
    for size in special:
        path = place(number)
        number += 1
        body = bytearray(rng.randbytes(size))
        while zlib.crc32(body) in crcs:  # a decoy must never be a worm file
            body[0] = (body[0] + 1) & 0xFF
        with open(os.path.join(tree, path), "xb") as f:
            f.write(body)
        if size <= READ_LIMIT:
            candidates.append(path)
    for row in WORM_ROWS:
        size, crc = ROWS[row]
        path = place(number)
        number += 1
        kept = os.path.join(tree + ".worms", str(len(worms)))
        subprocess.run([worm_maker, kept, str(size), "0x%08X" % crc, str(row + 1)], check=True)
        shutil.copyfile(kept, os.path.join(tree, path))
        candidates.append(path)
        worms.append(path)

    manifest = {"directories": len(folders), "files": number, "candidates": sorted(candidates),
                "worms": worms, "request": {"files": files, "dirs": dirs, "seed": seed}}
    with open(tree + ".json", "w") as f:
        json.dump(manifest, f, indent=1)
    return manifest


def restore(tree):
    """Puts back the worm files a run of the tool deleted."""
    with open(tree + ".json") as f:
        manifest = json.load(f)
    for index, path in enumerate(manifest["worms"]):
        target = os.path.join(tree, path)
        if not os.path.exists(target):
            shutil.copyfile(os.path.join(tree + ".worms", str(index)), target)


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "restore":
        restore(os.path.abspath(sys.argv[2]))
    else:
        main()

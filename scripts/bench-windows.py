#!/usr/bin/env python3
"""The Windows build's scan under Wine against Wine's own `cmd /c dir /s /b`.

Both list the same generated trees through the same Wine prefix, round after
round, so that the ratios compare runs that met the same machine load:

  plain      FILES files in DIRS directories, one in 16 a hit
  hit-heavy  HEAVY_FILES files in HEAVY_DIRS directories, every file a hit

    scripts/bench-windows.py BUILD_WINDOWS [--files N] [--dirs M] [--runs R]

Prints figures and ratios; exits 1 only when a run failed or listed the wrong
number of hits, never on a target.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

JUNK = [".tmp", ".bak", ".old", ".chk", "~", "$"]


def make_tree(root, files, dirs, every_hit):
    """Directories two levels deep; returns how many hits the scan must list."""
    os.makedirs(root)
    paths = []
    tops = max(1, int(dirs ** 0.5))
    for d in range(dirs):
        path = os.path.join(root, "t%d" % (d % tops), "d%d" % d) if d >= tops else \
            os.path.join(root, "t%d" % d)
        os.makedirs(path, exist_ok=True)
        paths.append(path)
    hits = 0
    for f in range(files):
        hit = every_hit or f % 16 == 0
        name = "f%d%s" % (f, JUNK[f % len(JUNK)] if hit else ".txt")
        with open(os.path.join(paths[f % len(paths)], name), "w") as out:
            out.write("x")
        hits += 1 if hit else 0
    return hits


def timed(argv, env):
    start = time.monotonic()
    run = subprocess.run(argv, env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    return time.monotonic() - start, run.returncode, run.stdout.count(b"\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build", help="the Windows build tree (build-windows)")
    parser.add_argument("--files", type=int, default=20000)
    parser.add_argument("--dirs", type=int, default=2000)
    parser.add_argument("--heavy-files", type=int, default=5000)
    parser.add_argument("--heavy-dirs", type=int, default=50)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--tmp", default="/tmp")
    args = parser.parse_args()

    bench = os.path.join(args.build, "bench", "tidwen-bench.exe")
    if not os.path.exists(bench):
        print("tidwen-bench.exe not built in %s" % args.build)
        return 1
    env = dict(os.environ, WINEPREFIX=os.path.abspath(os.path.join(args.build, "wineprefix")),
               WINEDEBUG="-all")
    subprocess.run(["wine", "cmd", "/c", "exit"], env=env)  # the prefix, and a warm server
    work = tempfile.mkdtemp(prefix="tidwen-winbench-", dir=args.tmp)
    sound = True
    try:
        trees = [("plain", args.files, args.dirs, False),
                 ("hit-heavy", args.heavy_files, args.heavy_dirs, True)]
        for name, files, dirs, every_hit in trees:
            root = os.path.join(work, name)
            hits = make_tree(root, files, dirs, every_hit)
            # Old enough that the read-ahead trusts every directory's listing.
            time.sleep(4)
            wine_root = "Z:" + root.replace("/", "\\")
            ours, theirs = [], []
            for _ in range(args.runs):
                seconds, code, lines = timed(["wine", bench, "--list", wine_root], env)
                if code != 0 or lines != hits:
                    print("%-10s tidwen-bench.exe exit %d, %d hits (expected %d)"
                          % (name, code, lines, hits))
                    sound = False
                ours.append(seconds)
                seconds, code, lines = timed(["wine", "cmd", "/c", "dir", "/s", "/b", wine_root], env)
                if lines != files + dirs:
                    print("%-10s dir listed %d entries (expected %d)" % (name, lines, files + dirs))
                theirs.append(seconds)
            ratios = [a / b for a, b in zip(ours, theirs)]
            print("%-10s %d files in %d dirs, %d hits" % (name, files, dirs, hits))
            print("  tidwen-bench.exe --list  best %.2f s  median %.2f s"
                  % (min(ours), statistics.median(ours)))
            print("  cmd /c dir /s /b         best %.2f s  median %.2f s"
                  % (min(theirs), statistics.median(theirs)))
            print("  ratio                    best/best %.2f  median of rounds %.2f  (target <= %s)"
                  % (min(ours) / min(theirs), statistics.median(ratios),
                     "0.5" if name == "plain" else "1.5"))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 0 if sound else 1


if __name__ == "__main__":
    sys.exit(main())

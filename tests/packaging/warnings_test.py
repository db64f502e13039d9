#!/usr/bin/env python3
"""A warning in src/ fails the build: every translation unit of src/ in the
build tree's compile_commands.json is compiled with -Werror, and a warning
planted into a copy of one of them stops its compile, where the copy as it
is compiles.

    warnings_test.py <build dir> <source dir> <scratch dir>

Skips (77) in a tree configured without TIDWEN_WERROR, which only the builds
of `make test` turn on.
"""
import json
import os
import shlex
import shutil
import subprocess
import sys

build, source, scratch = (os.path.abspath(p) for p in sys.argv[1:4])
with open(os.path.join(build, "CMakeCache.txt"), encoding="utf-8") as f:
    if "TIDWEN_WERROR:BOOL=ON" not in f.read():
        print("SKIPPED: this tree is configured without TIDWEN_WERROR (make configures with it)")
        sys.exit(77)

with open(os.path.join(build, "compile_commands.json"), encoding="utf-8") as f:
    units = [u for u in json.load(f)
             if os.path.abspath(os.path.join(u["directory"], u["file"])).startswith(
                 os.path.join(source, "src") + os.sep)]
if not units:
    sys.exit("FAILED: compile_commands.json lists nothing of src/")
lax = [u["file"] for u in units if "-Werror" not in shlex.split(u["command"])]
if lax:
    sys.exit("FAILED: compiled without -Werror:\n  " + "\n  ".join(lax))

# The planted warning: an unused variable (-Wall) in a copy of one unit.
unit = units[0]
args = shlex.split(unit["command"])
shutil.rmtree(scratch, ignore_errors=True)
os.makedirs(scratch)
unit_source = os.path.join(unit["directory"], args[args.index("-c") + 1])
args[args.index("-o") + 1] = os.devnull


def compile_copy(name, extra):
    copy = os.path.join(scratch, name)
    shutil.copyfile(unit_source, copy)
    with open(copy, "a", encoding="utf-8") as f:
        f.write(extra)
    args[args.index("-c") + 1] = copy
    return subprocess.run(args, cwd=unit["directory"], capture_output=True, text=True)


clean = compile_copy("as_is.cpp", "")
if clean.returncode != 0:
    sys.exit(f"FAILED: a copy of {unit_source} does not compile as it is:\n{clean.stderr}")
planted = compile_copy("planted.cpp", "\nstatic int PlantedWarning() { int unused; return 0; }\n")
if planted.returncode == 0:
    sys.exit(f"FAILED: a warning planted into {unit_source} did not fail its compile")
print(f"{len(units)} units of src/ compiled with -Werror; a planted warning fails:")
print(planted.stderr.strip().splitlines()[-1] if planted.stderr.strip() else "")

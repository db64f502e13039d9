#!/bin/sh
# The Windows build's scan of a raw NTFS volume under Wine, by its Master
# File Table, against the Linux walk of the same volume mounted with
# ntfs-3g:
#
#   mft_wine_test.sh NTFS_IMAGE_TOOL BENCH_EXE WINEPREFIX WINE_RUN
#
# The Linux build's tidwen-ntfs-image makes the image, the walk's hits and
# a copy of the files. A dosdevices link t:: to the image makes \\.\T: a
# raw volume, and t: leads to the copy, whose root and first directory the
# scan reads itself before it reads the volume. Exits 77 (skipped) where
# the image cannot be made: no Linux build, no root, no loop devices.
set -u
tool=$1 bench=$2 prefix=$3 run=$4

if [ ! -x "$tool" ]; then
  echo "no $tool: the Linux build makes the image (make build)"
  exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/tidwen-test-XXXXXX")
trap 'rm -f "$prefix/dosdevices/t:" "$prefix/dosdevices/t::"; rm -rf "$work"' EXIT
"$tool" "$work" || exit $?

ln -sfn "$work/copy" "$prefix/dosdevices/t:"
ln -sfn "$work/ntfs.img" "$prefix/dosdevices/t::"
sh "$run" "$prefix" "$bench" --list t: >"$work/windows.txt" 2>"$work/windows.err"
status=$?
if [ $status -ne 0 ] || ! grep -q "listings from the Master File Table" "$work/windows.err"; then
  echo "tidwen-bench.exe --list t: (exit $status) did not read the MFT:"
  cat "$work/windows.err"
  exit 1
fi

# Where the two systems' rules differ, and nowhere else: Windows lists no
# file that NTFS marks hidden or system (ntfs-3g shows them, so Linux lists
# them), and lists a name beginning with "." that no attribute hides.
# Everything else in the tree (links, junctions, FIFOs, DOS names, names
# with "\", trees never offered) the two leave out alike.
grep -v -x -F -e 'c:\attrs\hidden.tmp' -e 'c:\attrs\system.tmp' \
  -e 'c:\attrs\hidden_system.tmp' "$work/linux-walk.txt" >"$work/expected.txt"
printf '%s\n' 'c:\attrs\.dotted.tmp' >>"$work/expected.txt"
sort "$work/expected.txt" >"$work/expected.sorted"
sort "$work/windows.txt" >"$work/windows.sorted"
if ! diff "$work/expected.sorted" "$work/windows.sorted" >"$work/diff.txt"; then
  echo "the MFT scan under Wine and the Linux walk differ (< Linux, > Windows):"
  head -40 "$work/diff.txt"
  exit 1
fi
echo "$(wc -l <"$work/windows.txt") hits alike; $(cat "$work/windows.err")"

#!/usr/bin/env bash
# Two builds of this tree give the same bytes (`make reproducible-test`): the
# tree's files are copied into two folders of different names and depths,
# with different file times, and each copy builds what is shipped (`make
# package windows`) without ccache, so that no object of one build can stand
# in for the other's; then the Debian package, the zip, the installer, the
# programs and the winget manifest are compared byte for byte.
#
#   reproducible_test.sh <source dir> <scratch dir> <program>...
#
# SOURCE_DATE_EPOCH is the last commit's, as `make` sets it. The copies are
# removed when the builds agree, and kept for a look when they do not.
set -euo pipefail
source=$(realpath "$1") scratch=$(realpath -m "$2")
shift 2
programs=("$@")
fail() { echo "FAILED: $*"; exit 1; }

export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$source" log -1 --format=%ct)}
export CCACHE_DISABLE=1
rm -rf "$scratch"
copies=("$scratch/a/tidwen" "$scratch/second/folder/tidwen-copy")
for copy in "${copies[@]}"; do
  mkdir -p "$copy"
  # The files git has or would add, as they are in the work tree.
  (cd "$source" && git ls-files -z --cached --others --exclude-standard |
     while IFS= read -r -d '' f; do [[ -e $f ]] && printf '%s\0' "$f"; done |
     tar --null -T - -cf -) | tar -C "$copy" -m -xf -
done
# (Times before the commit's: a file from the future would keep ninja re-running CMake.)
find "${copies[1]}" -exec touch -h -d @$((SOURCE_DATE_EPOCH - 86400)) {} +

VERSION=$(sed -n 's/^project.Tidwen VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")
shipped=(build/tidwen_"${VERSION}"_"$(dpkg --print-architecture)".deb
         "dist/windows/tidwen-$VERSION-windows-x64.zip" "dist/windows/tidwen-$VERSION.msi")
for p in "${programs[@]}"; do shipped+=("dist/windows/$p"); done
for copy in "${copies[@]}"; do
  start=$SECONDS
  env -u MAKEFLAGS -u MFLAGS -u MAKELEVEL -u MAKEOVERRIDES \
    make -C "$copy" --no-print-directory package windows >"$copy.log" 2>&1 ||
    fail "the build in $copy failed: $(tail -20 "$copy.log")"
  echo "built in $copy in $((SECONDS - start)) s"
done

differ=()
for f in "${shipped[@]}" $(cd "${copies[0]}" && find dist/windows/winget -type f | sort); do
  [[ -f ${copies[0]}/$f ]] || fail "the build made no $f"
  if ! cmp -s "${copies[0]}/$f" "${copies[1]}/$f"; then
    differ+=("$f")
    echo "$f differs, first at: $(cmp "${copies[0]}/$f" "${copies[1]}/$f" | sed 's/.*differ: //')"
  fi
done
[[ ${#differ[@]} -eq 0 ]] ||
  fail "${#differ[@]} shipped files differ between the two builds (kept in $scratch;" \
       "diffoscope shows where)"
rm -rf "$scratch"
echo "the same bytes from both folders: ${shipped[*]##*/} and the winget manifest"

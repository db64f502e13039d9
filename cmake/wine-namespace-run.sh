#!/bin/sh
# Runs a Windows test program under Wine in a private mount namespace, with
# real Unix mounts made for it there, for the tests of what the Windows
# build keeps out of what Wine shows of mounts:
#
#   wine-namespace-run.sh PREFIX PROGRAM [ARGUMENT...]
#
# Wine opens files in its server process, so the server must run in the
# namespace too. The prefix is overlaid there with a scratch layer, which
# gives the session a server of its own (Wine keys its server by the prefix
# directory) and lets whatever the session writes into the prefix go with
# the namespace. Wine shows a mount of another file system than its
# parent's as a reparse point, which a scan never enters; a bind mount on
# the same file system shows as a plain folder. So the mounts are made on
# the file system of the folder they are mounted in. Under the folder that
# TIDWEN_TEST_MOUNTS names, on /tmp's file system:
#
#   etc        /etc, bound
#   var        /var, bound
#   usr-share  /usr/share, bound: a part of a system tree
#   user       a folder of the user's holding junk.tmp, bound
#   proc       a proc file system of its own
#
# and in the prefix's drive_c, on the overlay:
#
#   bound-windows  the Windows folder, bound
#   users/bound-drive  drive_c, bound: the Windows folder one level down
#
# Exits 77 (ctest: skipped) where no private mount namespace can be made.
# The namespace, its mounts and its Wine server end with the run; the
# scratch folder /tmp/tidwen-test-mounts-* is removed afterwards from
# outside the namespace, where nothing is mounted on it.
set -u

if [ "${1:-}" = --inside ]; then
  prefix=$2
  scratch=$3
  shift 3
  m=$scratch/mounts
  # A server of the namespace's own, with its socket in a folder of its own.
  mount -t tmpfs tmpfs "/tmp/.wine-$(id -u)" &&
    mount -t overlay overlay \
      -o "lowerdir=$prefix,upperdir=$scratch/upper,workdir=$scratch/work" "$prefix" &&
    mkdir -p "$prefix/drive_c/bound-windows" "$prefix/drive_c/users/bound-drive" &&
    mount --bind "$prefix/drive_c/windows" "$prefix/drive_c/bound-windows" &&
    mount --bind "$prefix/drive_c" "$prefix/drive_c/users/bound-drive" &&
    mount --bind /etc "$m/etc" &&
    mount --bind /var "$m/var" &&
    mount --bind /usr/share "$m/usr-share" &&
    mount --bind "$scratch/user" "$m/user" &&
    mount -t proc proc "$m/proc" || {
    echo "SKIPPED: the mounts cannot be made here"
    exit 77
  }
  WINEPREFIX=$prefix
  WINEDEBUG=-all
  WINEDLLOVERRIDES="mscoree,mshtml="
  TIDWEN_TEST_MOUNTS=$m
  export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES TIDWEN_TEST_MOUNTS
  # As wine-run.sh: the session's services must not hold the output open.
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
  wine "$@"
  status=$?
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  exit $status
fi

prefix=$1
shift
if [ "$(id -u)" != 0 ] || ! command -v unshare >/dev/null 2>&1; then
  echo "SKIPPED: a private mount namespace needs root and unshare"
  exit 77
fi
mkdir -p "/tmp/.wine-$(id -u)"
scratch=$(mktemp -d /tmp/tidwen-test-mounts-XXXXXX) || exit 1
cleanup() {
  # The mounts were private to the namespace. Should any show here, the
  # folder is left alone rather than removed through them.
  if grep -q " $scratch" /proc/self/mountinfo; then
    echo "mounts left under $scratch: not removed" >&2
  else
    rm -rf "$scratch"
  fi
}
trap cleanup EXIT
trap 'exit 1' INT TERM
for dir in upper work user mounts/etc mounts/var mounts/usr-share mounts/user mounts/proc; do
  mkdir -p "$scratch/$dir"
done
echo junk >"$scratch/user/junk.tmp"
unshare -m --propagation private sh "$0" --inside "$prefix" "$scratch" "$@"

#!/bin/bash
# Fails, naming file and line, where a C++ file of src/, tests/, bench/ or
# fuzz/ includes across a layer it must not cross (see CONTRIBUTING.md):
#   include_rules.sh [TREE]        checks TREE (default: this source tree)
#   include_rules.sh --self-test   plants one violation of each rule in a
#                                  copy of the tree and expects each caught
set -u
here=$(cd "$(dirname "$0")/.." && pwd)

# Where a quoted include is looked for after the including file's folder:
# the include directories the build gives the targets.
roots=(src tests tests/support tests/platform/linux tests/platform/windows bench
       src/frontend/qt/tools fuzz)
win32_sdk='windows|windowsx|winbase|winuser|wingdi|winnt|winerror|winioctl|winnetwk|winver|winreg|winsock2|ws2tcpip|commctrl|commdlg|shlobj|shellapi|shlwapi|objbase|objidl|ole2|olectl|oleauto|uxtheme|dwmapi|aclapi|accctrl|sddl|fileapi|handleapi|processthreadsapi|synchapi|psapi|tlhelp32|winternl|ntdef|ntstatus|lmcons|richedit'

# Whether path $1 lies in one of the folders or files that follow.
under() {
  local path=$1 place
  shift
  for place; do [[ $path == "$place"* ]] && return 0; done
  return 1
}

# Sets target to the tree-relative file a quoted include names, or to
# src/<name> when it is not in the tree (a generated header).
resolve() {
  local dir=$1 name=$2 root
  if [[ -f $tree/$dir/$name ]]; then
    target=$dir/$name
    [[ $name == *..* ]] && target=$(realpath -m --relative-to="$tree" "$tree/$target")
    return
  fi
  for root in "${roots[@]}"; do
    [[ -f $tree/$root/$name ]] && { target=$root/$name; return; }
  done
  target=src/$name
}

# Sets reason to why file $1 may not include $2 (the include as written, $3 the
# file it names when quoted), or to "" when it may.
why_not() {
  local file=$1 spelled=$2 target=$3
  reason=
  if [[ $spelled =~ ^\<(Q[A-Za-z]|q[a-z0-9_]*\.h\>) ]]; then
    under "$file" src/frontend/qt/ tests/frontend/qt/ tests/packaging/ bench/window/ ||
      reason="Qt outside the Qt front end"
    return
  fi
  shopt -s nocasematch
  if [[ $spelled =~ ^\<($win32_sdk)\.h\>$ || $target == src/platform/windows/win32.h ]]; then
    shopt -u nocasematch
    under "$file" src/platform/windows/ src/frontend/win32/ tests/platform/windows/ \
      tests/frontend/win32/ bench/windows/ src/frontend/cli/console_windows.cpp \
      tests/frontend/cli/run_program_windows.cpp ||
      reason="Win32 headers outside the Windows layers"
    return
  fi
  shopt -u nocasematch
  # The MFT reader is shared by both backends and makes no system call: it
  # takes a volume's bytes through an interface the backends implement.
  if [[ $file == src/platform/ntfs/* ]]; then
    if [[ $spelled =~ ^\<(unistd|fcntl|dirent|poll|sys/.*|linux/.*)\.h\>$ ]] ||
      under "$target" src/platform/linux/ src/platform/windows/; then
      reason="the MFT reader reaches the system or a backend"
      return
    fi
  fi
  [[ -z $target ]] && return
  case $target in
    src/platform/linux/* | tests/platform/linux/*)
      # The Qt front end's tests run the real program on Linux drives; the
      # benchmarks and fuzz targets drive the Linux backend; the fuzz checks
      # are shared by the fuzz targets and their replays.
      under "$file" src/platform/linux/ tests/platform/linux/ tests/frontend/qt/ fuzz/ \
        tests/support/fuzz_checks. bench/ && ! under "$file" bench/windows/ ||
        reason="a Linux backend header outside the Linux backend and its tests"
      ;;
    src/platform/windows/* | tests/platform/windows/*)
      under "$file" src/platform/windows/ tests/platform/windows/ bench/windows/ ||
        { under "$file" tests/frontend/win32/ && [[ $target == tests/* ]]; } ||
        reason="a Windows backend header outside the Windows backend and its tests"
      ;;
  esac
  case $file in
    src/model/* | src/rules/* | src/engine/* | src/scan/* | src/clean/*)
      under "$target" src/platform/ src/frontend/ && reason="the logic includes a platform or front end"
      ;;
    src/platform/*)
      under "$target" src/frontend/ && reason="a platform includes a front end"
      ;;
    src/frontend/common/*)
      under "$target" src/frontend/qt/ src/frontend/win32/ &&
        reason="the shared front-end code includes one front end"
      ;;
    src/frontend/qt/*)
      under "$target" src/frontend/win32/ src/frontend/cli/ && reason="one front end includes another"
      ;;
    src/frontend/win32/*)
      under "$target" src/frontend/qt/ src/frontend/cli/ && reason="one front end includes another"
      ;;
    src/frontend/cli/*)
      under "$target" src/frontend/qt/ src/frontend/win32/ &&
        reason="the command line includes a window front end"
      ;;
  esac
  return 0
}

check() {
  tree=$1
  local failures=0 file line text spelled target reason
  while IFS=: read -r file line text; do
    file=${file#"$tree"/}
    [[ $text =~ \#[[:space:]]*include[[:space:]]*([\<\"][^\>\"]*[\>\"]) ]] || continue
    spelled=${BASH_REMATCH[1]}
    target=
    [[ $spelled == \"* ]] && resolve "${file%/*}" "${spelled//\"/}"
    why_not "$file" "$spelled" "$target"
    if [[ -n $reason ]]; then
      echo "$file:$line: #include $spelled: $reason"
      failures=$((failures + 1))
    fi
  done < <(find "$tree/src" "$tree/tests" "$tree/bench" "$tree/fuzz" -type f \
             \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' -o -name '*.cc' -o -name '*.c' \) \
             -print0 | sort -z | xargs -0 grep -HnE '^[[:space:]]*#[[:space:]]*include')
  if ((failures > 0)); then
    echo "$failures include(s) cross a layer" >&2
    return 1
  fi
}

self_test() {
  local status=0 file include line out
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
  cp -r "$here/src" "$here/tests" "$here/bench" "$here/fuzz" "$scratch/"
  out=$(check "$scratch" 2>&1) || { echo "the clean tree fails:"; echo "$out"; return 1; }
  # One planted include per rule: the file and the line it adds.
  while IFS='|' read -r file include; do
    cp "$scratch/$file" "$scratch/plant.keep"
    echo "#include $include" >>"$scratch/$file"
    line=$(wc -l <"$scratch/$file")
    if out=$(check "$scratch" 2>&1) || [[ $out != *"$file:$line: #include $include"* ]]; then
      echo "not caught: $file:$line: #include $include"
      status=1
    fi
    mv "$scratch/plant.keep" "$scratch/$file"
  done <<'EOF'
src/scan/drive_walk.cpp|"platform/platform.h"
src/rules/junk_rules.cpp|<QString>
src/clean/cleaner.cpp|<QtCore/qglobal.h>
src/engine/walk.cpp|"platform/platform.h"
src/frontend/common/repaint_pacer.cpp|<qdrawutil.h>
src/frontend/common/form1_commands.cpp|"frontend/win32/form1.h"
src/platform/wtf8.h|"frontend/common/form1_commands.h"
src/frontend/qt/form1.cpp|"platform/windows/win32.h"
src/frontend/qt/list_box.cpp|"frontend/win32/controls.h"
tests/unit/cleaner_test.cpp|<Windows.h>
tests/unit/check_list_test.cpp|"linux_test_support.h"
tests/support/memory_platform.cpp|"platform/linux/drive_table.h"
src/frontend/win32/form1.cpp|"platform/windows/directory_reader.h"
tests/frontend/qt/controls_test.cpp|"platform/windows/drive_list.h"
bench/windows/list_main.cpp|"platform/linux/linux_platform.h"
bench/bench_model.cpp|<commctrl.h>
src/platform/ntfs/mft_reader.cpp|<unistd.h>
src/platform/ntfs/mft_index.cpp|"platform/linux/sys_calls.h"
src/frontend/cli/cli_scan.cpp|"frontend/qt/list_box.h"
src/frontend/cli/cli_options.cpp|<windows.h>
src/frontend/cli/cli_clean.cpp|"platform/linux/drive_table.h"
EOF
  [[ $status == 0 ]] && echo "every planted violation was caught"
  return $status
}

if [[ ${1:-} == --self-test ]]; then
  self_test
else
  check "$(cd "${1:-$here}" && pwd)"
fi

#!/bin/sh
# Runs a Windows program that opens windows under Wine, on a virtual display
# of its own, in a prefix kept for window tests:
#
#   wine-gui-run.sh PREFIX PROGRAM [ARGUMENT...]
#
# The prefix is made on first use, with Chinese fonts standing in for the
# faces the windows ask for (宋体, 华文中宋, 方正舒体) and a Chinese locale
# where the system has one, so that message boxes carry the system's Chinese
# buttons. Its windows open in Wine's virtual desktop, where Wine draws the
# frames as Windows does and no window manager is waited for. Exits 77 (ctest: skipped) when there is no Xvfb to run on. Every
# step is bounded in time: a hung window cannot hold a build up.
set -u
PREFIX=$1
shift
WINEPREFIX=$PREFIX
WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES

if ! command -v Xvfb >/dev/null 2>&1; then
  echo "SKIPPED: no Xvfb, so no display for the windows (scripts/setup.sh installs it)"
  exit 77
fi
if locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
  LANG=zh_CN.UTF-8
  LC_ALL=zh_CN.UTF-8
  export LANG LC_ALL
else
  echo "note: no zh_CN.UTF-8 locale: message boxes show Wine's English buttons"
fi

# A display of our own; Xvfb picks the number and tells it.
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
xvfb=$!
number=$(timeout 20 head -n1 "$fifo")
rm -f "$fifo"
if [ -z "$number" ]; then
  kill "$xvfb" 2>/dev/null
  echo "SKIPPED: Xvfb did not start"
  exit 77
fi
DISPLAY=:$number
export DISPLAY
cleanup() {
  timeout 20 wineserver -k >/dev/null 2>&1
  kill "$xvfb" 2>/dev/null
  wait "$xvfb" 2>/dev/null
}
trap cleanup EXIT INT TERM

# One prefix per build tree; several tests may start at once: the first
# makes it, under a lock.
mkdir -p "$(dirname "$PREFIX")"
(
  flock -w 300 9 || exit 1
  if [ ! -f "$PREFIX/.tidwen-prefix-2" ]; then
    timeout 240 wineboot -i >/dev/null 2>&1
    key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
    for face in 宋体 SimSun 华文中宋 STZhongsong; do
      timeout 60 wine reg add "$key" /v "$face" /d "AR PL UMing CN" /f >/dev/null 2>&1
    done
    for face in 方正舒体 FZShuTi; do
      timeout 60 wine reg add "$key" /v "$face" /d "AR PL UKai CN" /f >/dev/null 2>&1
    done
    timeout 60 wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    timeout 60 wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1000 /f \
      >/dev/null 2>&1
    timeout 60 wineserver -w
    touch "$PREFIX/.tidwen-prefix-2"
  fi
) 9>"$PREFIX.lock"

# The program's output goes where ctest reads it; Wine's own services get
# none, so they cannot hold it open (see wine-run.sh).
timeout 60 wine cmd /c exit </dev/null >/dev/null 2>&1
timeout "${TIDWEN_GUI_TIMEOUT:-900}" wine "$@"

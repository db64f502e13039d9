# Sourced by the download's tests: Wine in a prefix of the test's own, made
# afresh, with a virtual display for the programs' windows.
#
#   wine_session_start PREFIX   makes the prefix and starts the display
#   start_and_close EXE         starts a window program, waits for its main
#                               window, closes it and checks that it ended well
#   winpath UNIX_PATH           the path as Windows programs see it
#
# The session ends with the script (a trap): Wine's server and the display
# are stopped. Wine makes no menu entries on the host (winemenubuilder is
# off). Needs fail(), skip(), $source (the tree) and $scratch (a folder for
# logs) from the script that sources it.

wine_session_stop() {
  if [[ -d ${WINEPREFIX:-} ]]; then timeout 30 wineserver -k >/dev/null 2>&1 || true; fi
  if [[ -n ${xvfb_pid:-} ]]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=
  fi
}

wine_session_start() {
  command -v Xvfb >/dev/null || skip "no Xvfb for the programs' windows (scripts/setup.sh installs it)"
  command -v xwininfo >/dev/null || skip "no xwininfo (x11-utils) to find the windows"
  export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  trap wine_session_stop EXIT
  local fifo number
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  xvfb_pid=$!
  number=$(timeout 20 head -n1 "$fifo")
  rm -f "$fifo"
  [[ -n $number ]] || skip "Xvfb did not start"
  export DISPLAY=:$number
  rm -rf "$WINEPREFIX"
  mkdir -p "$(dirname "$WINEPREFIX")"
  timeout 300 wineboot -i >/dev/null 2>&1 || fail "wineboot could not make $WINEPREFIX"
  timeout 60 wineserver -w
}

winpath() { winepath -w "$1" 2>/dev/null; }

# The main window's caption, as the windows' one description writes it.
main_caption() {
  sed -n 's/.*kCaption = "\(.*\)";/\1/p' "$source/src/frontend/common/window_description.h"
}

start_and_close() {
  local exe=$1 caption pid status=0 shown=
  caption=$(main_caption)
  [[ -n $caption ]] || fail "cannot read the main window's caption"
  wine "$exe" >"$scratch/start.log" 2>&1 &
  pid=$!
  for _ in $(seq 240); do
    if xwininfo -root -tree 2>/dev/null | grep -qF "\"$caption\""; then shown=1; break; fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.25
  done
  if [[ -z $shown ]]; then
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null || true
    fail "$exe showed no window \"$caption\": $(cat "$scratch/start.log")"
  fi
  # taskkill without /f closes the windows (WM_CLOSE), as a user would.
  timeout 60 wine taskkill /im "$(basename "$exe")" >/dev/null 2>&1 || true
  timeout 60 tail --pid="$pid" -f /dev/null || fail "$exe did not end when its window was closed"
  wait "$pid" || status=$?
  [[ $status -eq 0 ]] || fail "$exe ended with status $status"
  echo "started $(basename "$exe"): its window \"$caption\" opened and closed"
}

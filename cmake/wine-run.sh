#!/bin/sh
# Runs a Windows program under Wine, in the given prefix, for the cross
# build's test discovery and ctest:
#
#   wine-run.sh PREFIX PROGRAM [ARGUMENT...]
#
# The first program of a Wine session starts Wine's own service processes,
# which inherit its standard output and hold it open until the session ends:
# ctest, waiting for the end of a test's output, would see that test run
# until the session ends. So a session is first started here by a program
# whose output goes nowhere; the program itself then joins it.
set -eu
WINEPREFIX=$1
shift
WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
exec wine "$@"

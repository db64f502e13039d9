#!/bin/sh
# Takes pictures of the Win32 windows: the main window, the results view
# after a scan of a small sample drive, the about window, and the main
# window at 150% (144 DPI), as OUTDIR/windows-form1.png, windows-results.png,
# windows-form2.png and windows-form1-150.png.
#
#   cmake/windows-screenshots.sh WINDOWS_BUILD OUTDIR
#
# They are taken in Wine's virtual desktop, where Wine draws the frames and
# title bars itself, in the window tests' prefix.
set -eu
build=$(cd "$1" && pwd)
out=$(mkdir -p "$2" && cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
command -v convert >/dev/null || { echo "needs ImageMagick's convert (apt-get install imagemagick)"; exit 1; }
shots=$(mktemp -d)
trap 'rm -rf "$shots"' EXIT
TIDWEN_GUI_TIMEOUT=120 sh "$here/wine-gui-run.sh" "$build/wineprefix-gui" \
  explorer /desktop=Tidwen,1100x720 "$build/src/frontend/win32/tidwen-screenshots.exe" "Z:$(echo "$shots" | tr / '\\\\')"
for name in form1 results form2 form1-150; do
  convert "$shots/$name.bmp" "$out/windows-$name.png"
done
ls -l "$out"/windows-*.png

#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, and
# only those that are missing. Uses sudo when not run as root.
#
#   scripts/setup.sh [PACKAGE...]   also installs the packages named
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev
  libgtest-dev libgmock-dev
  findutils bfs e2fsprogs util-linux
  fonts-arphic-uming fonts-arphic-ukai
  dpkg-dev file desktop-file-utils appstream lintian
  # The Windows build: mingw-w64, GoogleTest's sources, and Wine to run it.
  g++-mingw-w64-x86-64-posix mingw-w64 googletest wine wine64
  # The Windows windows' tests: a virtual display and a Chinese locale for
  # Wine; python3 packs the Windows download (cmake/windows-zip.py).
  xvfb locales ccache python3
  # Real filesystems for the safety and NTFS tests: FUSE drives, NTFS images
  # and their attributes.
  bindfs fuse2fs ntfs-3g attr
  # The Windows installer (wixl, and python3-olefile to fix its summary) and
  # signed downloads, and their tests: the winget manifest, a throwaway
  # certificate, the installed program's window.
  msitools wixl osslsigncode python3-olefile python3-yaml openssl x11-utils
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)

# Wine takes its language from the locale: message boxes of the window tests
# get their Chinese buttons under zh_CN.UTF-8.
chinese_locale() {
  locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$' ||
    "${sudo[@]}" localedef -i zh_CN -f UTF-8 zh_CN.UTF-8 || true
}

if [[ ${#missing[@]} -eq 0 ]]; then
  chinese_locale
  exit 0
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
chinese_locale

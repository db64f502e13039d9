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
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"

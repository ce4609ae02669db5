#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need. Idempotent: when
# everything is already there it only checks, and apt is not touched.
set -euo pipefail

packages=(
  build-essential cmake pkg-config python3
  zlib1g-dev libgtest-dev libgmock-dev libbenchmark-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev
  wine wine64 wine32:i386
  fonts-wine xvfb xauth xdotool x11-utils imagemagick openbox xcompmgr
  clang libclang-rt-14-dev llvm libspng-dev valgrind
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get -q update
$sudo apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends "${missing[@]}"

#!/bin/bash
# Installs what the project needs on a fresh Debian 12 machine (only what is
# missing) and builds every configuration.
#   setup.sh            packages + all builds
#   setup.sh --packages packages only
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  cmake ninja-build g++ clang locales libclang-rt-14-dev python3 zlib1g-dev
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64 mingw-w64-tools libz-mingw-w64-dev
  wine wine64 xvfb xauth x11-utils imagemagick fonts-ipafont-gothic zip unzip
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  SUDO=; [ "$(id -u)" = 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
[ "${1:-}" = "--packages" ] && exit 0

JOBS=${JOBS:-2}
for preset in win32 win64 host fuzz; do
  echo "setup: building $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build "build/$preset" -j"$JOBS"
done

#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Kestrum needs.
# Safe to run again: it checks what is installed first and prints nothing when all is there.
set -euo pipefail

packages=(
  # toolchain
  g++ make cmake ninja-build pkg-config ccache
  # libraries the program builds on
  qt6-base-dev libqt6opengl6-dev libepoxy-dev libegl-dev libgl-dev
  libpng-dev zlib1g-dev libjpeg62-turbo-dev libturbojpeg0-dev
  # headless OpenGL at run time (Mesa's llvmpipe through EGL, no X server)
  libegl1 libegl-mesa0 libgl1-mesa-dri libgl1 libepoxy0
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev python3-pil
  # window tests under a virtual X server (the cursor shown is read through XFixes)
  xvfb xauth imagemagick libx11-dev libxfixes-dev
  # the font the window's controls are sized for (DejaVu Sans Condensed)
  fonts-dejavu-core fonts-dejavu-extra
  # fuzz targets (libFuzzer ships in clang's runtime package)
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

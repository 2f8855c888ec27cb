#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need.
# Idempotent: apt-get update runs only when a package is missing.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  libgtk-3-dev libwebkit2gtk-4.1-dev
  libmspack-dev libgcab-dev gcab cabextract
  libjpeg-dev libwmf-0.2-7-gtk fonts-urw-base35
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool imagemagick poppler-utils
  valgrind
  debootstrap dpkg-dev desktop-file-utils
  libzip-dev libxml2-dev pandoc live-manual-epub
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"

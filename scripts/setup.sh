#!/usr/bin/env bash
# Installs every Debian package Quorrin's build, launcher and tests need,
# and makes the locales a first start in each of the program's languages
# needs under Wine (Wine takes the user's language from the locale only
# when that locale exists on the machine).
# Safe to run again: it installs and makes only what is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build clang libclang-rt-14-dev
  googletest libgtest-dev libbenchmark-dev
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine64 wine fonts-wine xvfb x11-utils imagemagick socat ser2net lrzsz
  python3-pytest fonts-wqy-microhei locales
  python3-crcmod python3-pymodbus python3-serial-asyncio
  python3-markdown weasyprint poppler-utils pngquant fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
else
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# "locale -a" lists ko_KR.UTF-8 as ko_KR.utf8.
locales=(ja_JP en_US ko_KR zh_CN)
present=$(locale -a 2>/dev/null)
for l in "${locales[@]}"; do
  if ! grep -qx "$l.utf8" <<<"$present"; then
    echo "setup: making locale $l.UTF-8"
    $SUDO localedef -i "$l" -c -f UTF-8 "$l.UTF-8"
  fi
done

#!/usr/bin/env bash
# Installs every Debian package the build and the tests need. Safe to run again.
# Usage: tools/install-deps.sh [--wine]
set -euo pipefail
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

pkgs=(cmake ninja-build g++ g++-multilib libgtest-dev libgmock-dev googletest
      libbenchmark-dev g++-mingw-w64-i686 binutils-mingw-w64-i686 qemu-user
      clang-format clang-tidy pkgconf clang libclang-rt-14-dev libpng-dev)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  $SUDO apt-get update || true
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

if [ "${1:-}" = "--wine" ]; then
  if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
    $SUDO dpkg --add-architecture i386
    # The security suite's i386 index can be stale; Wine comes from the main suite.
    $SUDO apt-get update || true
    $SUDO apt-get install -y -t bookworm --no-install-recommends wine wine32:i386 wine64
  fi
fi

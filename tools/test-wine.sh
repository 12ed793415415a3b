#!/usr/bin/env bash
# Builds the mingw32 preset and runs only its Wine tests (label wine): the
# prefix set-up, then the Windows host programs. Slow here: 32-bit Wine runs
# through qemu-i386, and the first prefix takes about ten minutes.
#
# CARDN5_BUILD_ROOT=<dir> builds in <dir>/mingw32 instead of build/mingw32.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s)

tools/install-deps.sh --wine

# This kernel has no i386 support: let it start i386 programs (Wine's loader
# and everything Wine starts) through qemu-i386. Lasts until reboot.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  fmt=/proc/sys/fs/binfmt_misc
  [ -e $fmt/register ] || mount -t binfmt_misc binfmt_misc $fmt
  if [ ! -e $fmt/qemu-i386 ]; then
    magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    printf '%s' ":qemu-i386:M::$magic:$mask:$(command -v qemu-i386):F" >$fmt/register
  fi
  /usr/lib/wine/wine --version
fi

if [ -n "${CARDN5_BUILD_ROOT:-}" ]; then
  dir="$CARDN5_BUILD_ROOT/mingw32"
  cmake --preset mingw32 -B "$dir"
  cmake --build "$dir" -j2
  test=(ctest --test-dir "$dir" -L wine --output-on-failure -V)
else
  dir=build/mingw32
  cmake --preset mingw32
  cmake --build --preset mingw32
  test=(ctest --preset mingw32-wine)
fi

prefix=$(sed -n 's/^CARDN5_WINEPREFIX:PATH=//p' "$dir/CMakeCache.txt")
rc=0
"${test[@]}" || rc=$?
# The prefix test leaves a wineserver running for the host runs; stop it.
WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
echo "Wine tests $([ $rc -eq 0 ] && echo PASSED || echo FAILED) after $(( $(date +%s) - started )) s"
exit $rc

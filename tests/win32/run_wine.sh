#!/usr/bin/env bash
# Runs a 32-bit Windows program of the build under Wine for ctest.
#   run_wine.sh --init <prefix>             create the Wine prefix (slow: minutes)
#   run_wine.sh <prefix> <program.exe> <log> run it; its exit code is ours
# The program's console output goes to a file, not a pipe: a pipe stays open
# until the Wine services exit, which can hang the test.
set -u
export WINEDEBUG=-all WINEARCH=win32 WINEDLLOVERRIDES="mscoree,mshtml="
SKIP=77

if ! command -v wine >/dev/null 2>&1; then
  echo "wine is not installed (tools/install-deps.sh --wine)"
  exit $SKIP
fi
if ! wine --version >/dev/null 2>&1; then
  echo "wine does not start: $(wine --version 2>&1 | head -1)"
  echo "On a kernel without i386 support, tools/test-wine.sh registers qemu-i386 for i386 programs."
  exit $SKIP
fi

if [ "${1:-}" = "--init" ]; then
  export WINEPREFIX="$2"
  start=$(date +%s)
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot --init </dev/null >"$WINEPREFIX.init.log" 2>&1 || { cat "$WINEPREFIX.init.log"; exit 1; }
  fi
  # A server that outlives this run saves the next runs its start-up; its
  # output is not ours, so it cannot hold ctest's pipe open.
  wineserver -p 900 </dev/null >/dev/null 2>&1 &
  echo "Wine prefix $WINEPREFIX ready after $(( $(date +%s) - start )) s"
  exit 0
fi

export WINEPREFIX="$1"
program="$2"
log="$3"
cd "$(dirname "$program")" || exit 1
start=$(date +%s)
wine "$(basename "$program")" </dev/null >"$log" 2>&1
rc=$?
cat "$log"
echo "exit code $rc after $(( $(date +%s) - start )) s"
# A program that never got to its verdict has not passed, whatever Wine returned.
if [ $rc -eq 0 ] && ! grep -q '^PASS' "$log"; then
  echo "FAIL: no PASS verdict in $log"
  exit 1
fi
exit $rc

#!/usr/bin/env bash
# Installs what the build needs, then configures, builds (-j2) and tests each
# preset in turn; stops at the first failure. The Wine tests are left out
# (tools/test-wine.sh runs them).
#
#   tools/test-all.sh [preset...]     default: debug tidy asan tsan m32 mingw32 fuzz
# tidy is no preset of its own: it runs clang-tidy (tools/clang-tidy.sh) on
# the compile commands of a debug configuration with the benchmarks.
# The fuzz preset builds the libFuzzer targets with clang, replays their
# inputs and fuzzes each for a fixed time (fuzz/README.md).
# CARDN5_BUILD_ROOT=<dir> builds in <dir>/<preset> instead of build/<preset>
# (the presets' own folders), e.g. to leave a working build/debug alone.
set -uo pipefail
cd "$(dirname "$0")/.."

presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(debug tidy asan tsan m32 mingw32 fuzz)
root="${CARDN5_BUILD_ROOT:-}"

summary=()
started=$(date +%s)
finish() {
  local rc=$?
  echo
  echo "==== Summary ===="
  printf '  %s\n' "${summary[@]}"
  echo "  total $(( $(date +%s) - started )) s: $([ $rc -eq 0 ] && echo PASSED || echo FAILED)"
  exit $rc
}
trap finish EXIT

step() {  # step <preset> <what> <command...>
  local preset=$1 what=$2
  shift 2
  local t0=$(date +%s)
  echo
  echo "==== $preset: $what ===="
  if "$@"; then
    summary+=("$(printf '%-8s %-9s ok     %4d s' "$preset" "$what" $(( $(date +%s) - t0 )))")
  else
    summary+=("$(printf '%-8s %-9s FAILED %4d s' "$preset" "$what" $(( $(date +%s) - t0 )))")
    exit 1
  fi
}

# ThreadSanitizer cannot map its shadow memory with the randomised layout of
# recent kernels (28+ random bits); without address randomisation it can.
tsan_runner=()
if [ "$(cat /proc/sys/vm/mmap_rnd_bits 2>/dev/null || echo 0)" -gt 28 ] && command -v setarch >/dev/null; then
  tsan_runner=(setarch "$(uname -m)" -R)
fi

step deps install tools/install-deps.sh

for p in "${presets[@]}"; do
  if [ "$p" = tidy ]; then
    dir="${root:+$root/tidy}"
    dir="${dir:-build/tidy}"
    step tidy configure cmake --preset debug -B "$dir" -DCARDN5_BUILD_BENCH=ON
    step tidy check tools/clang-tidy.sh "$dir"
    continue
  fi
  runner=()
  [ "$p" = tsan ] && runner=("${tsan_runner[@]}")
  if [ -n "$root" ]; then
    dir="$root/$p"
    step "$p" configure cmake --preset "$p" -B "$dir"
    step "$p" build cmake --build "$dir" -j2
    step "$p" test "${runner[@]}" ctest --test-dir "$dir" -LE wine --output-on-failure
  else
    step "$p" configure cmake --preset "$p"
    step "$p" build cmake --build --preset "$p"
    step "$p" test "${runner[@]}" ctest --preset "$p"
  fi
done

#!/usr/bin/env bash
# Runs clang-tidy (the repository's .clang-tidy) over our non-test sources:
# the library, the stand-ins, the simulator, the tools and, when the build
# has them, the benchmarks. Any finding fails the run.
#
#   tools/clang-tidy.sh [build-dir]     default: build/tidy, a debug
#                                       configuration with the benchmarks
#                                       (configured only: nothing is built)
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build/tidy}"

tidy=$(command -v clang-tidy-14 || command -v clang-tidy || true)
if [ -z "$tidy" ]; then
  tools/install-deps.sh
  tidy=$(command -v clang-tidy-14 || command -v clang-tidy)
fi
[ -f "$dir/compile_commands.json" ] || cmake --preset debug -B "$dir" -DCARDN5_BUILD_BENCH=ON >/dev/null

# The translation units of our folders, as the build compiles them.
mapfile -t files < <(python3 - "$dir/compile_commands.json" <<'PY'
import json, os, re, sys
root = os.getcwd() + "/"
for e in json.load(open(sys.argv[1])):
    f = os.path.realpath(os.path.join(e["directory"], e["file"]))
    if re.match(re.escape(root) + r"(cardN5|platform|sim|tools|bench)/", f):
        print(f)
PY
)
echo "clang-tidy: ${#files[@]} files, $("$tidy" --version | sed -n 's/.*version /version /p')"
# Two at a time: the machine has two cores.
printf '%s\n' "${files[@]}" | sort -u |
  xargs -P 2 -n 4 "$tidy" -p "$dir" --quiet --warnings-as-errors='*' 2>/dev/null ||
  { echo "clang-tidy: findings above"; exit 1; }
echo "clang-tidy: no findings"

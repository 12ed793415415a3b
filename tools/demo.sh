#!/usr/bin/env bash
# Builds the library, the stand-ins and the simulator, and runs the demo job
# on the simulated machine. Extra arguments go to the demo (--help lists them).
set -euo pipefail
cd "$(dirname "$0")/.."

missing=()
command -v cmake >/dev/null || missing+=(cmake)
command -v ninja >/dev/null || missing+=(ninja-build)
command -v g++ >/dev/null || missing+=(g++)
command -v libpng-config >/dev/null || missing+=(libpng-dev)
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
  $SUDO apt-get update || true
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build/demo -G Ninja -DCMAKE_BUILD_TYPE=Release -DCARDN5_BUILD_TESTS=OFF >/dev/null
cmake --build build/demo --target cardn5_demo -j "$(nproc)"
# The demo logs to a file of its own unless the caller chose one.
export CARDN5_LOG="${CARDN5_LOG:-$PWD/build/demo/cardn5-demo.log}"
exec build/demo/bin/cardn5_demo "$@"

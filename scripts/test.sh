#!/usr/bin/env bash
# Configures, builds and runs every test: core, simulator end to end, and the windows.
# Installs what is missing first (Debian 12; RV740X_SKIP_INSTALL=1 skips that).
# RV740X_BUILD_DIR picks the build directory (default: build); arguments go to CMake.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${RV740X_SKIP_INSTALL:-}" ]; then
    ./scripts/install-deps.sh
fi
build="${RV740X_BUILD_DIR:-build}"
RV740X_BUILD_DIR="$build" ./scripts/configure.sh "$@"
cmake --build "$build" -j 2
# Two tests at a time: most wait on the simulated line at its real pace. The benchmarks run
# alone all the same (RUN_SERIAL).
ctest --test-dir "$build" --output-on-failure -j 2

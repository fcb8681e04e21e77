#!/usr/bin/env bash
# Runs clang-tidy with .clang-tidy over the core, the simulator, the window and the
# command-line tool, from the compile database of a build directory (default: build;
# configure it first). Any finding fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
if [ ! -f "$build/compile_commands.json" ]; then
    echo "no $build/compile_commands.json: configure $build with CMake first" >&2
    exit 2
fi
root="$(pwd)"
run-clang-tidy -p "$build" -quiet -j "${RV740X_JOBS:-2}" "$root/(src|sim|cli)/"

#!/usr/bin/env bash
# Configures the build directory that the test run and the demo share (RV740X_BUILD_DIR,
# default: build) with the same build type and options, so running one after the other
# builds nothing twice. Arguments go to CMake.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${RV740X_BUILD_DIR:-$root/build}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRV740X_WERROR=ON "$@"

#!/usr/bin/env bash
# Configures and builds into ./build (or $QUARNEL_BUILD_DIR) with Ninja.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${QUARNEL_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE:-RelWithDebInfo} >/dev/null
cmake --build "$build_dir"

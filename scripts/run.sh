#!/usr/bin/env bash
# Everything from a fresh machine to a running Quarnel window.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh
build_dir=${QUARNEL_BUILD_DIR:-build}
exec "$build_dir/bin/quarnel" "$@"

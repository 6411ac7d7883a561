#!/usr/bin/env bash
# Everything from a fresh machine to a finished test run.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh
build_dir=${QUARNEL_BUILD_DIR:-build}
status=0
ctest --test-dir "$build_dir" --output-on-failure -j2 "$@" || status=$?
figures="$build_dir/reliability-figures.txt"
if [ -s "$figures" ]; then
  echo
  echo "Reliability figures:"
  cat "$figures"
fi
exit $status

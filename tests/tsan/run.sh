#!/usr/bin/env bash
# Builds the download tests with ThreadSanitizer and runs them once.
#
# usage: run.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$1

cmake -S "$here" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target quarnel_download_tests -- -j2 >/dev/null

log="$build/tsan.log"
if TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
   "$build/tests/quarnel_download_tests" >"$log" 2>&1; then
  echo "figure: thread sanitizer $(grep -E '^\[  PASSED  \]' "$log" | tail -1) races=0"
else
  grep -E 'WARNING: ThreadSanitizer|FAILED' "$log" | head -20
  tail -40 "$log"
  echo "figure: thread sanitizer races_or_failures=1"
  exit 1
fi

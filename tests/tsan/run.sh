#!/usr/bin/env bash
# Builds the download tests and the worker stress test with ThreadSanitizer
# and runs each once. Any report fails the run. Prints one figure per
# executable (and appends it to FIGURES_FILE when given).
#
# usage: run.sh BUILD_DIR [FIGURES_FILE]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$1
figures=${2:-}

figure() {
  echo "$1"
  if [ -n "$figures" ]; then echo "$1" >>"$figures"; fi
}

cmake -S "$here" -B "$build" -G Ninja >"$build.configure.log" 2>&1 || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" --target quarnel_download_tests quarnel_tsan_stress_tests -- -j2 \
  >"$build.build.log" 2>&1 || { tail -60 "$build.build.log"; exit 1; }

status=0
for binary in tests/quarnel_download_tests quarnel_tsan_stress_tests; do
  name=$(basename "$binary")
  log="$build/$name.tsan.log"
  start=$SECONDS
  if TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" "$build/$binary" --gtest_color=no >"$log" 2>&1; then
    result=0
  else
    result=$?
  fi
  races=$(grep -c 'WARNING: ThreadSanitizer' "$log" || true)
  passed=$(grep -E '^\[  PASSED  \] [0-9]+ test' "$log" | grep -oE '[0-9]+' | head -1 || true)
  figure "figure: tsan binary=$name tests_passed=${passed:-0} reports=$races exit=$result seconds=$((SECONDS - start))"
  if [ "$result" -ne 0 ] || [ "$races" -ne 0 ]; then
    grep -E 'WARNING: ThreadSanitizer|FAILED' "$log" | head -20
    tail -60 "$log"
    status=1
  fi
done
exit $status

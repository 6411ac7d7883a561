#!/usr/bin/env bash
# Everything from a fresh machine to a finished test run.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh
build_dir=${QUARNEL_BUILD_DIR:-build}
log="$build_dir/ctest-last.log"
status=0
ctest --test-dir "$build_dir" --output-on-failure -j2 "$@" 2>&1 | tee "$log" || status=$?

figures="$build_dir/reliability-figures.txt"
if [ -s "$figures" ]; then
  echo
  echo "Reliability figures:"
  cat "$figures"
  # The figures pushed CTest's own summary up; say it once more, last.
  summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1 || true)
  if [ -n "$summary" ]; then
    failed=$(echo "$summary" | sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/')
    total=$(echo "$summary" | sed -E 's/.* tests failed out of ([0-9]+).*/\1/')
    echo
    echo "$summary"
    echo "ctest: $((total - failed)) passed, $failed failed"
  fi
fi
exit $status

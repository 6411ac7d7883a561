#!/usr/bin/env bash
# Builds the fuzz targets with clang; runs each once over the inputs that
# once found a fault (regressions/<target>), then for a bounded time on its
# seed corpus. Prints one figure per target (and appends it to FIGURES_FILE
# when given); any crash fails the run and keeps the input that caused it.
#
# usage: run.sh BUILD_DIR [SECONDS_PER_TARGET] [FIGURES_FILE]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$1
seconds=${2:-20}
figures=${3:-}

figure() {
  echo "$1"
  if [ -n "$figures" ]; then echo "$1" >>"$figures"; fi
}

CC=clang CXX=clang++ cmake -S "$here" -B "$build" -G Ninja >"$build.configure.log" 2>&1 ||
  { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -- -j2 >"$build.build.log" 2>&1 || { tail -60 "$build.build.log"; exit 1; }

status=0
for target in FuzzIniFile FuzzFtl FuzzParsers FuzzCoordinate FuzzSourceDocuments; do
  corpus="$build/corpus-$target"
  rm -rf "$corpus"; mkdir -p "$corpus"
  cp "$here/seeds/$target"/* "$corpus/"
  log="$build/$target.log"
  if [ -d "$here/regressions/$target" ]; then
    if ! (cd "$build" && "./$target" "$here/regressions/$target"/* >"$log" 2>&1); then
      figure "figure: fuzz target=$target regression_crashes=1"
      grep -E 'Running:|ERROR|abort|SUMMARY' "$log" | head -20
      status=1
      continue
    fi
  fi
  if (cd "$build" && "./$target" -max_total_time="$seconds" -rss_limit_mb=1024 -max_len=65536 \
       -seed=1 -print_final_stats=1 "$corpus" >"$log" 2>&1); then
    runs=$(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}')
    figure "figure: fuzz target=$target seconds=$seconds executions=${runs:-?} crashes=0"
  else
    figure "figure: fuzz target=$target seconds=$seconds crashes=1"
    tail -40 "$log"
    ls "$build"/crash-* "$build"/leak-* "$build"/oom-* "$build"/timeout-* 2>/dev/null || true
    status=1
  fi
done
exit $status

#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time on its
# seed corpus. Prints one figure per target; any crash fails the run.
#
# usage: run.sh BUILD_DIR SECONDS_PER_TARGET
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$1
seconds=${2:-20}

CC=clang CXX=clang++ cmake -S "$here" -B "$build" -G Ninja >/dev/null
cmake --build "$build" -- -j2 >/dev/null

status=0
for target in FuzzIniFile FuzzFtl FuzzParsers; do
  corpus="$build/corpus-$target"
  rm -rf "$corpus"; mkdir -p "$corpus"
  cp "$here/seeds/$target"/* "$corpus/"
  log="$build/$target.log"
  if "$build/$target" -max_total_time="$seconds" -rss_limit_mb=1024 -max_len=65536 \
       -print_final_stats=1 "$corpus" >"$log" 2>&1; then
    runs=$(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}')
    echo "figure: fuzz $target executions=${runs:-?} crashes=0"
  else
    echo "figure: fuzz $target crashes=1"
    tail -40 "$log"
    status=1
  fi
done
exit $status

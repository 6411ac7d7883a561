#!/usr/bin/env bash
# A route's download beside a rectangle's of as many tiles, from one loopback
# server that answers every address: quarnel-cli --area with a 1,000 km route
# widened by 1 km at zoom 16 (its rectangle is some 200 times larger than its
# inside), then a square task of about the same tile count. Each runs RUNS
# times, alternating, from scratch; prints the medians of tiles per second and
# of quarnel-cli's own peak memory, and their ratio. The download is timed from
# the moment the task's log is written (its set-up done, the workers about to
# start) to the end of the run; the whole run, set-up included, is shown too:
# on loopback a run takes about a second, so the route's import (a program of
# its own that loads GDAL, some 0.25 s) weighs there as it never does against
# a real server. The route's peak with the import is shown apart.
#
# usage: bench/area_download.sh BIN_DIR PORT ROUTE.geojson OUT_DIR
set -euo pipefail
bin=$1 port=$2 route=$3 out=$4
RUNS=${RUNS:-3}
mkdir -p "$out"
config="$out/config.ini"
printf '[Hosts]\r\nOpenStreetMap=127.0.0.1:%s\r\n' "$port" > "$config"

# Runs one task from scratch; prints
# "seconds download_seconds own_peak_kb peak_with_children_kb".
# Its own peak is its VmHWM, read until it ends.
run() {  # task entries...
  local task=$1; shift
  rm -rf "${out:?}/$task" "$out/$task".qrnl "$out/$task"_*
  python3 - "$out/${task}_log.txt" "$bin/quarnel-cli" --config "$config" "$@" --zoom 16 --threads 8 \
    --path "$out" --task "$task" 2>"$out/err.txt" <<'PY' || {
import os, subprocess, sys, time
log, command = sys.argv[1], sys.argv[2:]
start = time.monotonic()
child = subprocess.Popen(command, stdout=subprocess.DEVNULL)
own, set_up, polls = 0, None, 0
while os.waitid(os.P_PID, child.pid, os.WEXITED | os.WNOHANG | os.WNOWAIT) is None:
    if set_up is None and os.path.exists(log):
        set_up = time.monotonic()
    if polls % 10 == 0:
        try:
            with open(f"/proc/{child.pid}/status") as status:
                for line in status:
                    if line.startswith("VmHWM:"):
                        own = max(own, int(line.split()[1]))
        except OSError:
            pass
    polls += 1
    time.sleep(0.001)
end = time.monotonic()
_, status, usage = os.wait4(child.pid, 0)
if os.waitstatus_to_exitcode(status) != 0 or set_up is None:
    sys.exit(f"quarnel-cli ended with {os.waitstatus_to_exitcode(status)}")
print(f"{end - start:.3f} {end - set_up:.3f} {own} {usage.ru_maxrss}")
PY
    echo "area bench: failed: $*" >&2; tail -5 "$out/err.txt" >&2; return 1; }
}

total_of() { sed -nE 's/^Total count of images would be downloaded: ([0-9]+).*/\1/p' "$out/$1_log.txt"; }
rectangle_of() {  # the tiles of a task's rectangle, from its project file
  tr -d '\r' < "$out/$1.qrnl" | awk -F= '/^Min[XY]=|^Max[XY]=/ {v[$1] = $2}
    END {print (v["MaxX"] - v["MinX"] + 1) * (v["MaxY"] - v["MinY"] + 1)}'
}

# A square of side tiles at zoom 16 around (30000, 20000), as entries.
square() {
  python3 - "$1" <<'PY'
import math, sys
side, zoom, c0, r0 = int(sys.argv[1]), 16, 30000, 20000
n = 2 ** zoom
lon = lambda c: (c + 0.5) / n * 360 - 180
lat = lambda r: math.degrees(math.atan(math.sinh(math.pi * (1 - 2 * (r + 0.5) / n))))
print(f"--left {lon(c0):.7f} --right {lon(c0 + side - 1):.7f} --top {lat(r0):.7f} --bottom {lat(r0 + side - 1):.7f}")
PY
}

run route --area "$route" --buffer 1000 >/dev/null
tiles=$(total_of route)
rectangle=$(rectangle_of route)
side=$(awk -v n="$tiles" 'BEGIN {printf "%d", sqrt(n) + 0.5}')
# shellcheck disable=SC2046
entries=$(square "$side")

: > "$out/area.txt"; : > "$out/square.txt"
for _ in $(seq "$RUNS"); do
  run route --area "$route" --buffer 1000 >> "$out/area.txt"
  # shellcheck disable=SC2086
  run square $entries >> "$out/square.txt"
done
median() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
field() { awk -v n="$2" -v f="$3" '{print (f == 1 || f == 2) ? n / $f : $f}' "$out/$1.txt" | median; }
a=$(field area "$tiles" 2); s=$(field square "$((side * side))" 2)
aw=$(field area "$tiles" 1); sw=$(field square "$((side * side))" 1)
am=$(field area 0 3); sm=$(field square 0 3); ai=$(field area 0 4)
mb() { echo "$1/1024" | bc -l; }
printf '\nArea download, 1,000 km route + 1 km at zoom 16, 8 threads, median of %s runs:\n' "$RUNS"
printf '  %-34s %9s %18s %16s %9s\n' task tiles "download tiles/s" "whole run tiles/s" "peak MB"
printf '  %-34s %9d %18.0f %16.0f %9.1f\n' "route (rectangle $rectangle tiles)" "$tiles" "$a" "$aw" "$(mb "$am")"
printf '  %-34s %9d %18.0f %16.0f %9.1f\n' "square of ${side}x${side}" "$((side * side))" "$s" "$sw" "$(mb "$sm")"
printf '  route/square: download %.2f (target at least 0.80), whole run %.2f; route peak %.1f MB (target under 64),\n' \
  "$(echo "$a/$s" | bc -l)" "$(echo "$aw/$sw" | bc -l)" "$(mb "$am")"
printf '  %.1f MB with the import before it (quarnel-area-import, GDAL)\n' "$(mb "$ai")"
rm -rf "${out:?}/route" "$out/square" "$out"/route* "$out"/square*

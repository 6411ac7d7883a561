#!/usr/bin/env bash
# Quarnel against the tools a user would otherwise pick, on loopback only.
#
# Downloads the same tile addresses (taken from Quarnel's own tile list) with
# quarnel-cli (8 threads), aria2c (8 connections) and curl (--parallel 8),
# alternating, from nginx (keep-alive) and from a server that waits 20 ms per
# answer. Prints tiles per second (median of RUNS), the ratio of Quarnel to
# each peer and each one's peak memory, and the CPU time the whole-image
# check costs per tile; then times a 1,000,000-tile set-up
# against dd writing the same number of bytes; then sets up tasks over areas
# (a 100,000-vertex polygon, a 1,000 km route) and downloads the route beside
# a square task of as many tiles (bench/area_download.sh); then combines
# (MBTiles of 1M tiles, a GeoTIFF beside gdal_translate). Last, the scale section runs
# a 100,489-tile and a 1,002,001-tile task against a server answering one
# small tile for every address and puts side by side their peak memory and
# their write amplification (bytes handed to write calls over the bytes
# left: tiles, list, log, project, failed list and the log on stdout).
# Tasks kept in one file (--store file) are put beside folder tasks: the
# 10,000-tile area's tiles/s, a sea-heavy area's bytes (nine tiles in ten
# alike) and, in the scale section, the 1,002,001-tile task's memory and
# writes. SCALE=0 leaves the scale section out; SCALE_ONLY=1 runs only it;
# STORE_ONLY=1 runs only the one-file comparisons (and the scale section's
# one-file row unless SCALE=0).
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)

RUNS=${RUNS:-3}
WORK=${BENCH_DIR:-/tmp/quarnel-bench}
NGINX_PORT=${NGINX_PORT:-18080}
SCALE_PORT=${SCALE_PORT:-18082}
# A million tile files take a million inodes and 4 GB of blocks: on disk by default.
SCALE_DIR=${SCALE_DIR:-$WORK/scale}
DELAY_PORT=${DELAY_PORT:-18081}
SEA_PORT=${SEA_PORT:-18083}
SEA_LAND_PORT=${SEA_LAND_PORT:-18084}
DELAY_MS=${DELAY_MS:-20}
# Downloads land in memory by default: on ext4, a folder of 10,000 files
# deleted a moment before makes the next run's file creation several times
# slower, whichever tool runs next, and that noise would drown the figures.
# OUT_DIR=/some/disk/folder measures on a disk instead.
if [ -z "${OUT_DIR:-}" ]; then
  if [ -d /dev/shm ]; then OUT_DIR=/dev/shm/quarnel-bench-out; else OUT_DIR=$WORK/out; fi
fi

# The 10,000-tile area: columns 17294..17393, rows 11485..11584 at zoom 15.
ZOOM=15
AREA=(--left 10.003052 --right 11.090698 --top 47.297859 --bottom 46.555083)
# The delayed server's area: the first 40 columns of it (4,000 tiles).
DELAY_AREA=(--left 10.003052 --right 10.431519 --top 47.297859 --bottom 46.555083)

need=()
for p in nginx aria2 curl time python3; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  echo "bench: installing ${need[*]}"
  if [ "$(id -u)" -eq 0 ]; then as_root=(); else as_root=(sudo); fi
  "${as_root[@]}" apt-get update -q >/dev/null
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q --no-install-recommends "${need[@]}" >/dev/null
fi
./scripts/setup.sh >/dev/null
QUARNEL_BUILD_DIR=${QUARNEL_BUILD_DIR:-build} CMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE:-RelWithDebInfo} ./scripts/build.sh >/dev/null
bin="$repo/${QUARNEL_BUILD_DIR:-build}/bin"

mkdir -p "$WORK" "$OUT_DIR"
if [ ! -f "$WORK/tiles/.complete" ]; then
  echo "bench: writing the tile pyramid to $WORK/tiles"
  rm -rf "$WORK/tiles"
  python3 bench/make_pyramid.py "$WORK/tiles" $ZOOM 17292 17395 11483 11586
  touch "$WORK/tiles/.complete"
fi

pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT

cat > "$WORK/nginx.conf" <<NGINX
worker_processes 2;
pid $WORK/nginx.pid;
error_log $WORK/nginx-error.log;
daemon off;
events { worker_connections 1024; }
http {
  access_log off;
  keepalive_timeout 60;
  keepalive_requests 1000000;
  sendfile on;
  client_body_temp_path $WORK/nginx-tmp;
  proxy_temp_path $WORK/nginx-tmp;
  fastcgi_temp_path $WORK/nginx-tmp;
  uwsgi_temp_path $WORK/nginx-tmp;
  scgi_temp_path $WORK/nginx-tmp;
  server {
    listen 127.0.0.1:$NGINX_PORT;
    root $WORK/tiles;
  }
  server {
    listen 127.0.0.1:$SEA_PORT;
    root $WORK/sea;
  }
  server {
    listen 127.0.0.1:$SEA_LAND_PORT;
    root $WORK/sea-land;
  }
  server {
    listen 127.0.0.1:$SCALE_PORT;
    root $WORK/scale-tile;
    location / { rewrite ^ /tile.png break; }
  }
}
NGINX
mkdir -p "$WORK/scale-tile"
# 562 bytes of a whole PNG (a grey 256 x 256 tile, a text chunk making up
# the size), whose chunks hold together as a tile's must.
python3 - "$WORK/scale-tile/tile.png" <<'PY'
import struct, sys, zlib
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
rows = b"".join(b"\x00" + b"\x80" * 256 for _ in range(256))
head = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 256, 256, 8, 0, 0, 0, 0))
body = chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b"")
text = b"Comment\x00" + b"x" * (562 - len(head) - len(body) - 12 - 8)
with open(sys.argv[1], "wb") as f:
    f.write(head + chunk(b"tEXt", text) + body)
PY
# The sea-heavy area: the 10,000-tile area with nine tiles in ten one sea image.
if [ ! -f "$WORK/sea/.complete" ]; then
  rm -rf "$WORK/sea" "$WORK/sea-pool"
  python3 bench/make_distinct_pool.py "$WORK/tiles/$ZOOM" "$WORK/sea-pool" 1200
  python3 bench/make_sea.py "$WORK/sea" $ZOOM 17292 17395 11483 11586 "$WORK/sea-pool"
  rm -rf "$WORK/sea-land"
  python3 bench/make_sea.py "$WORK/sea-land" $ZOOM 17292 17395 11483 11586 "$WORK/sea-pool" land-sized
  touch "$WORK/sea/.complete"
fi
mkdir -p "$WORK/nginx-tmp"
nginx -c "$WORK/nginx.conf" & pids+=($!)
python3 bench/delay_server.py "$WORK/tiles" "$DELAY_PORT" "$DELAY_MS" & pids+=($!)
for port in $NGINX_PORT $DELAY_PORT $SCALE_PORT $SEA_PORT $SEA_LAND_PORT; do
  for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.1; done
done

config() {  # config file pointing Quarnel at one port
  printf '[Hosts]\r\nOpenStreetMap=127.0.0.1:%s\r\n' "$1" > "$WORK/config-$1.ini"
  echo "$WORK/config-$1.ini"
}

# Runs a command under /usr/bin/time; prints "seconds peak_kb".
measure() {
  /usr/bin/time -f '%e %M' -o "$WORK/time.out" "$@" >/dev/null 2>"$WORK/cmd.err" || {
    echo "bench: failed: $*" >&2; tail -5 "$WORK/cmd.err" >&2; return 1; }
  cat "$WORK/time.out" | tail -1
}

run_quarnel() {  # port area...
  local port=$1; shift
  rm -rf "$OUT_DIR/q"; mkdir -p "$OUT_DIR/q"
  measure "$bin/quarnel-cli" --config "$(config "$port")" "$@" --zoom $ZOOM --threads 8 \
    --path "$OUT_DIR/q" --task bench
}

# Address lists for the peers, from the tile list of a Quarnel run.
make_lists() {  # port
  local list="$OUT_DIR/q/bench_list.txt" port=$1
  tail -n +2 "$list" | tr -d '\r' | awk -F'[_.:]' -v port="$port" -v dir="$OUT_DIR/p" '{
      url = "http://127.0.0.1:" port "/" $4 "/" $2 "/" $3 ".png"
      print url > "'"$WORK"'/urls.txt"
      printf "url = \"%s\"\noutput = \"%s/%s_%s_%s_%s.png\"\n", url, dir, $1, $2, $3, $4 > "'"$WORK"'/curl.cfg"
      printf "%s\n  out=%s_%s_%s_%s.png\n", url, $1, $2, $3, $4 > "'"$WORK"'/aria2.txt"
    }'
  wc -l < "$WORK/urls.txt"
}

run_curl() {
  rm -rf "$OUT_DIR/p"; mkdir -p "$OUT_DIR/p"
  measure curl --parallel --parallel-max 8 -s -K "$WORK/curl.cfg"
}

run_aria2() {
  rm -rf "$OUT_DIR/p"; mkdir -p "$OUT_DIR/p"
  measure aria2c -j8 -x1 -s1 --dir "$OUT_DIR/p" -i "$WORK/aria2.txt" --allow-overwrite=true \
    --auto-file-renaming=false --file-allocation=none --console-log-level=error \
    --summary-interval=0 --download-result=hide -q
}

median() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

bench_server() {  # label port area...
  local label=$1 port=$2; shift 2
  run_quarnel "$port" "$@" >/dev/null
  local tiles; tiles=$(make_lists "$port")
  : > "$WORK/q.txt"; : > "$WORK/c.txt"; : > "$WORK/a.txt"
  for _ in $(seq "$RUNS"); do
    run_quarnel "$port" "$@" >> "$WORK/q.txt"
    run_curl >> "$WORK/c.txt"
    run_aria2 >> "$WORK/a.txt"
  done
  local q c a qm cm am
  q=$(awk -v n="$tiles" '{print n/$1}' "$WORK/q.txt" | median)
  c=$(awk -v n="$tiles" '{print n/$1}' "$WORK/c.txt" | median)
  a=$(awk -v n="$tiles" '{print n/$1}' "$WORK/a.txt" | median)
  qm=$(awk '{print $2}' "$WORK/q.txt" | median)
  cm=$(awk '{print $2}' "$WORK/c.txt" | median)
  am=$(awk '{print $2}' "$WORK/a.txt" | median)
  printf '\n%s: %s tiles, median of %s runs\n' "$label" "$tiles" "$RUNS"
  printf '  %-22s %10s %12s %14s\n' tool tiles/s "peak MB" "Quarnel ratio"
  printf '  %-22s %10.0f %12.1f %14s\n' "quarnel-cli 8 threads" "$q" "$(echo "$qm/1024" | bc -l)" "-"
  printf '  %-22s %10.0f %12.1f %14.2f\n' "curl --parallel 8" "$c" "$(echo "$cm/1024" | bc -l)" "$(echo "$q/$c" | bc -l)"
  printf '  %-22s %10.0f %12.1f %14.2f\n' "aria2c -j8" "$a" "$(echo "$am/1024" | bc -l)" "$(echo "$q/$a" | bc -l)"
}

# A folder task against a task kept in one file, alternating, RUNS times:
# tiles/s (median) and what each leaves (the folder's bytes as files hold
# them and as the disk allocates them; the file's size).
store_compare() {  # label port area...
  local label=$1 port=$2; shift 2
  : > "$WORK/sf.txt"; : > "$WORK/ss.txt"; : > "$WORK/sizes.txt"
  local tiles folder_bytes folder_alloc file_bytes
  for _ in $(seq "$RUNS"); do
    run_quarnel "$port" "$@" --store folder >> "$WORK/sf.txt"
    folder_bytes=$(du -sb "$OUT_DIR/q/bench" | cut -f1)
    folder_alloc=$(du -sB1 "$OUT_DIR/q/bench" | cut -f1)
    run_quarnel "$port" "$@" --store file >> "$WORK/ss.txt"
    file_bytes=$(stat -c %s "$OUT_DIR/q/bench.mbtiles")
    echo "$folder_bytes $folder_alloc $file_bytes" >> "$WORK/sizes.txt"
  done
  tiles=$(( $(wc -l < "$OUT_DIR/q/bench_list.txt") - 1 ))
  local f s fm sm
  f=$(awk -v n="$tiles" '{print n/$1}' "$WORK/sf.txt" | median)
  s=$(awk -v n="$tiles" '{print n/$1}' "$WORK/ss.txt" | median)
  fm=$(awk '{print $2}' "$WORK/sf.txt" | median)
  sm=$(awk '{print $2}' "$WORK/ss.txt" | median)
  read -r folder_bytes folder_alloc file_bytes < <(tail -1 "$WORK/sizes.txt")
  printf '\nOne file against a folder, %s: %s tiles, median of %s runs\n' "$label" "$tiles" "$RUNS"
  printf '  %-14s %10s %9s %14s %14s\n' storage tiles/s "peak MB" "bytes left" "disk bytes"
  printf '  %-14s %10.0f %9.1f %14d %14d\n' "--store folder" "$f" "$(echo "$fm/1024" | bc -l)" "$folder_bytes" "$folder_alloc"
  printf '  %-14s %10.0f %9.1f %14d %14d\n' "--store file" "$s" "$(echo "$sm/1024" | bc -l)" "$file_bytes" "$file_bytes"
  printf '  tiles/s file over folder: %.2f (target 0.9 or more); bytes file over folder: %.3f (over the disk it takes: %.3f)\n' \
    "$(echo "$s/$f" | bc -l)" "$(echo "$file_bytes/$folder_bytes" | bc -l)" "$(echo "$file_bytes/$folder_alloc" | bc -l)"
}

command -v bc >/dev/null || { apt-get install -y -q bc >/dev/null 2>&1 || sudo apt-get install -y -q bc >/dev/null; }

if [ "${STORE_ONLY:-0}" = 1 ]; then
  store_compare "nginx, keep-alive" "$NGINX_PORT" "${AREA[@]}"
  store_compare "sea-heavy area (9 tiles in 10 one flat sea tile)" "$SEA_PORT" "${AREA[@]}"
  store_compare "sea-heavy area (9 tiles in 10 alike, as large as the rest)" "$SEA_LAND_PORT" "${AREA[@]}"
fi
if [ "${SCALE_ONLY:-0}" != 1 ] && [ "${STORE_ONLY:-0}" != 1 ]; then
bench_server "nginx, keep-alive" "$NGINX_PORT" "${AREA[@]}"
store_compare "nginx, keep-alive" "$NGINX_PORT" "${AREA[@]}"
store_compare "sea-heavy area (9 tiles in 10 one flat sea tile)" "$SEA_PORT" "${AREA[@]}"
store_compare "sea-heavy area (9 tiles in 10 alike, as large as the rest)" "$SEA_LAND_PORT" "${AREA[@]}"
# What the whole-image check adds to each tile, in CPU time (the run above
# spends its own CPU time per tile; this one other programs cannot blur).
"$bin/quarnel_tile_body_bench" "$WORK/tiles" | tail -1
bench_server "loopback server, +${DELAY_MS} ms per answer" "$DELAY_PORT" "${DELAY_AREA[@]}"

# A 1,000,000-tile task's set-up against dd writing as many bytes.
rm -rf "$WORK/setup"; mkdir -p "$WORK/setup"
setup=$("$bin/quarnel_setup_bench" "$WORK/setup" | tail -1)
bytes=$(echo "$setup" | sed -E 's/.*list_bytes=([0-9]+).*/\1/')
secs=$(echo "$setup" | sed -E 's/.*seconds=([0-9.]+).*/\1/')
peak=$(echo "$setup" | sed -E 's/.*peak_kb=([0-9]+).*/\1/')
tiles=$(echo "$setup" | sed -E 's/.*tiles=([0-9]+).*/\1/')
start=$(date +%s.%N)
dd if=/dev/zero of="$WORK/setup/dd.out" bs=1M count=$(( (bytes + 1048575) / 1048576 )) conv=fsync status=none
dd_secs=$(echo "$(date +%s.%N) - $start" | bc -l)
printf '\nSet-up of %s tiles: %.2f s, peak %.1f MB; dd of %s bytes: %.2f s; ratio %.2f\n' \
  "$tiles" "$secs" "$(echo "$peak/1024" | bc -l)" "$bytes" "$dd_secs" "$(echo "$secs/$dd_secs" | bc -l)"

# Areas at zoom 16: a 100,000-vertex polygon's set-up (from memory and from
# its area file, as a resume reads it) and a 1,000 km route widened by 1 km.
rm -rf "$WORK/area"; mkdir -p "$WORK/area"
"$bin/quarnel_area_bench" "$WORK/area" > "$WORK/area.txt"
area_field() { grep "^$1:" "$WORK/area.txt" | sed -E "s/.* $2=([0-9.]+).*/\1/"; }
printf '\nArea set-up, polygon of 100,000 vertices: %.3f s, from its area file %.3f s (target under 2 s); %s tiles inside of %s in its rectangle\n' \
  "$(area_field polygon seconds)" "$(area_field polygon resume_seconds)" "$(area_field polygon tiles)" \
  "$(area_field polygon rectangle_tiles)"
printf 'Area set-up, 1,000 km route + 1 km: import %.3f s, mask %.3f s; %s tiles inside of %s in its rectangle; mask %s KB\n' \
  "$(area_field route import_seconds)" "$(area_field route seconds)" "$(area_field route tiles)" \
  "$(area_field route rectangle_tiles)" "$(area_field route mask_kb)"
# The route's download beside a square task of as many tiles, from the server
# that answers every address.
RUNS=$RUNS bash bench/area_download.sh "$bin" "$SCALE_PORT" "$WORK/area/route.geojson" "$OUT_DIR/area"

# Combining: tile sets of a 1,000,000-tile task (hard links made once), and
# the 10,000-tile area as one GeoTIFF by quarnel and by GDAL's own route (a
# VRT of the tile folder, then gdal_translate with the same creation options;
# GDAL's copy is RGB, Quarnel's RGBA).
combine_field() { echo "$1" | sed -E "s/.*$2=([0-9.]+).*/\1/"; }
COMBINE_DIR=${COMBINE_DIR:-$WORK/combine}
mkdir -p "$COMBINE_DIR/area"
pool="$WORK/tiles/$ZOOM"
# The pyramid repeats a few dozen images, and PMTiles stores repeated bytes
# once: the tile sets are timed on tiles whose bytes all differ, one file per
# tile of the largest task (17 GB, made once).
distinct="$WORK/distinct-pool"
if [ ! -f "$distinct/.complete" ]; then
  echo "bench: writing 1,002,001 distinct tiles to $distinct"
  rm -rf "$distinct"
  python3 bench/make_distinct_pool.py "$pool" "$distinct" 1002001
  touch "$distinct/.complete"
fi
tile_set() {  # task-folder output left right top bottom: one combine, its line; the output is removed
  local folder=$1 output=$2; shift 2
  mkdir -p "$COMBINE_DIR/$folder"
  "$bin/quarnel_combine_bench" "$COMBINE_DIR/$folder" "$distinct" "$COMBINE_DIR/$output" "$@" 12 | tail -1
  rm -rf "${COMBINE_DIR:?}/$output"
}
MILLION=(-50 37.8 40.2 -40.2)
HUNDRED=(-50 -22.15 13.93 -13.93)
mb=$(tile_set million-distinct million.mbtiles "${MILLION[@]}")
pm=$(tile_set million-distinct million.pmtiles "${MILLION[@]}")
gp=$(tile_set million-distinct million.gpkg "${MILLION[@]}")
pm100=$(tile_set hundred-distinct hundred.pmtiles "${HUNDRED[@]}")
rate() { echo "$(combine_field "$1" tiles)/$(combine_field "$1" seconds)" | bc -l; }
printf '\nTile sets of %s tiles, every tile distinct (target: PMTiles and GeoPackage at 0.8 of MBTiles or more)\n' \
  "$(combine_field "$mb" tiles)"
printf '  %-12s %9s %10s %9s %10s %15s\n' format seconds tiles/s "peak MB" "file MB" "MBTiles ratio"
for row in "MBTiles:$mb" "PMTiles:$pm" "GeoPackage:$gp"; do
  printf '  %-12s %9.1f %10.0f %9.1f %10.0f %15.2f\n' "${row%%:*}" "$(combine_field "${row#*:}" seconds)" \
    "$(rate "${row#*:}")" "$(echo "$(combine_field "${row#*:}" peak_kb)/1024" | bc -l)" \
    "$(echo "$(combine_field "${row#*:}" bytes)/1048576" | bc -l)" "$(echo "$(rate "${row#*:}")/$(rate "$mb")" | bc -l)"
done
printf '  PMTiles peak memory at %s tiles over %s tiles: %.3f (target: within 1.10)\n' "$(combine_field "$pm" tiles)" \
  "$(combine_field "$pm100" tiles)" "$(echo "$(combine_field "$pm" peak_kb)/$(combine_field "$pm100" peak_kb)" | bc -l)"

# The same 1,000,000-tile task kept as a folder and in one file (repacked
# once), each into MBTiles: the file becomes the output as a copy of itself.
# Its tiles come from the pyramid's images, repeated as a real task's are.
mkdir -p "$COMBINE_DIR/million-folder" "$COMBINE_DIR/million-store"
in_folder=$("$bin/quarnel_combine_bench" "$COMBINE_DIR/million-folder" "$pool" "$COMBINE_DIR/folder.mbtiles" "${MILLION[@]}" 12 | tail -1)
in_store=$("$bin/quarnel_combine_bench" --store "$COMBINE_DIR/million-store" "$pool" "$COMBINE_DIR/store.mbtiles" "${MILLION[@]}" 12 | tail -1)
rm -f "$COMBINE_DIR/folder.mbtiles" "$COMBINE_DIR/store.mbtiles"
printf 'MBTiles of a %s-tile task: kept as a folder %.1f s, in one file %.1f s; ratio %.1f (target: 5 or more)\n' \
  "$(combine_field "$in_store" tiles)" "$(combine_field "$in_folder" seconds)" "$(combine_field "$in_store" seconds)" \
  "$(echo "$(combine_field "$in_folder" seconds)/$(combine_field "$in_store" seconds)" | bc -l)"


# Lower levels: the 10,000-tile area into MBTiles, plain and down to its zoom
# minus 4 (medians of RUNS), on the RGB tiles and on map-like 8-bit palette
# tiles; beside GDAL building the same levels on a copy of the plain set
# (with a plain tiles table: GDAL cannot write into the tiles view that
# stores equal tiles once). Every lower tile is checked against its four
# children, decoded by GDAL and averaged by the checker; --palette is
# checked against the plain build. BASELINE_BENCH=path of another build's
# quarnel_combine_bench adds its figures and a pixel comparison.
if [ ! -f "$WORK/paltiles/.complete" ]; then
  rm -rf "$WORK/paltiles"
  python3 bench/make_pyramid.py "$WORK/paltiles" $ZOOM 17292 17395 11483 11586 --palette
  touch "$WORK/paltiles/.complete"
fi
lower_runs() {  # task-folder pool output [min-zoom [palette]]: the median run's line, output kept
  local folder=$1 lpool=$2 output=$3; shift 3
  mkdir -p "$COMBINE_DIR/$folder"
  : > "$WORK/lower.txt"
  for _ in $(seq "$RUNS"); do
    "$bin/quarnel_combine_bench" "$COMBINE_DIR/$folder" "$lpool" "$COMBINE_DIR/$output" "${AREA[1]}" "${AREA[3]}" \
      "${AREA[5]}" "${AREA[7]}" $ZOOM "$@" | tail -1 >> "$WORK/lower.txt"
  done
  awk -F'seconds=' '{split($2, a, " "); print a[1], $0}' "$WORK/lower.txt" | sort -n | cut -d' ' -f2- |
    sed -n "$(( (RUNS + 1) / 2 ))p"
}
plain_table() {  # mbtiles: a copy with one tiles table, as GDAL writes into
  python3 - "$1" <<'PY'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
db.executescript("CREATE TABLE t AS SELECT * FROM tiles; DROP VIEW tiles; DROP TABLE map; DROP TABLE images;"
                 "ALTER TABLE t RENAME TO tiles;"
                 "CREATE UNIQUE INDEX tile_index ON tiles (zoom_level, tile_column, tile_row);")
db.commit(); db.execute("VACUUM")
PY
}
printf '\nLower levels of the 10,000-tile area down to zoom %d, MBTiles, median of %s runs\n' $((ZOOM - 4)) "$RUNS"
printf '  (targets: at most 6 x the plain copy, 10 x faster than gdaladdo, peak under 128 MB, pixels as averaged, --palette bytes 0.4 of the plain build)\n'
printf '  %-8s %8s %8s %6s %9s %9s %8s %11s %10s %11s\n' kind "plain s" "lower s" ratio "gdaladdo" "gdal/us" "peak MB" "lower MB" "pixels" "palette MB"
for kind in rgb palette; do
  if [ $kind = rgb ]; then lpool="$pool"; else lpool="$WORK/paltiles/$ZOOM"; fi
  plain=$(lower_runs "area-$kind" "$lpool" plain.mbtiles)
  lower=$(lower_runs "area-$kind" "$lpool" lower.mbtiles $((ZOOM - 4)))
  check=$("$bin/quarnel_levels_compare" "$COMBINE_DIR/lower.mbtiles" $ZOOM)
  pal="-"
  if [ $kind = palette ]; then
    "$bin/quarnel_combine_bench" "$COMBINE_DIR/area-$kind" "$lpool" "$COMBINE_DIR/palette.mbtiles" "${AREA[1]}" \
      "${AREA[3]}" "${AREA[5]}" "${AREA[7]}" $ZOOM $((ZOOM - 4)) palette | tail -1 > "$WORK/palette.txt"
    pcheck=$("$bin/quarnel_levels_compare" "$COMBINE_DIR/palette.mbtiles" "$COMBINE_DIR/lower.mbtiles" $ZOOM)
    pal=$(echo "$(combine_field "$pcheck" bytes)/1048576" | bc -l)
    printf '  --palette: %.1f s; %s of the plain build'"'"'s lower bytes; colour distance to it: mean %s, largest %s\n' \
      "$(combine_field "$(cat "$WORK/palette.txt")" seconds)" \
      "$(echo "$(combine_field "$pcheck" bytes)/$(combine_field "$check" bytes)" | bc -l | cut -c1-5)" \
      "$(combine_field "$pcheck" mean)" "$(combine_field "$pcheck" largest)" > "$WORK/palette-line.txt"
    rm -f "$COMBINE_DIR/palette.mbtiles"
  fi
  if [ -n "${BASELINE_BENCH:-}" ]; then
    base=$("$BASELINE_BENCH" "$COMBINE_DIR/area-$kind" "$lpool" "$COMBINE_DIR/baseline.mbtiles" "${AREA[1]}" \
      "${AREA[3]}" "${AREA[5]}" "${AREA[7]}" $ZOOM $((ZOOM - 4)) | tail -1)
    bcheck=$("$bin/quarnel_levels_compare" "$COMBINE_DIR/lower.mbtiles" "$COMBINE_DIR/baseline.mbtiles" $ZOOM)
    bbytes=$("$bin/quarnel_levels_compare" "$COMBINE_DIR/baseline.mbtiles" $ZOOM)
    printf '  %s baseline: %.1f s; lower bytes %s of the baseline'"'"'s; tiles with the same pixels %s of %s\n' "$kind" \
      "$(combine_field "$base" seconds)" \
      "$(echo "$(combine_field "$check" bytes)/$(combine_field "$bbytes" bytes)" | bc -l | cut -c1-5)" \
      "$(combine_field "$bcheck" same)" "$(combine_field "$bcheck" tiles)" >> "$WORK/baseline-lines.txt"
    rm -f "$COMBINE_DIR/baseline.mbtiles"
  fi
  cp "$COMBINE_DIR/plain.mbtiles" "$COMBINE_DIR/gdal.mbtiles"
  plain_table "$COMBINE_DIR/gdal.mbtiles"
  gd=$(measure env GDAL_NUM_THREADS=2 gdaladdo -q -r average "$COMBINE_DIR/gdal.mbtiles" 2 4 8 16)
  rm -f "$COMBINE_DIR/plain.mbtiles" "$COMBINE_DIR/lower.mbtiles" "$COMBINE_DIR/gdal.mbtiles"
  printf '  %-8s %8.2f %8.2f %6.2f %9.1f %9.1f %8.1f %11.1f %10s %11s\n' $kind \
    "$(combine_field "$plain" seconds)" "$(combine_field "$lower" seconds)" \
    "$(echo "$(combine_field "$lower" seconds)/$(combine_field "$plain" seconds)" | bc -l)" "${gd% *}" \
    "$(echo "${gd% *}/$(combine_field "$lower" seconds)" | bc -l)" "$(echo "$(combine_field "$lower" peak_kb)/1024" | bc -l)" \
    "$(echo "$(combine_field "$check" bytes)/1048576" | bc -l)" \
    "$(combine_field "$check" same)/$(combine_field "$check" tiles)" "$pal"
done
cat "$WORK/palette-line.txt"
# The lower levels of the 1,000,001-tile task, down to its zoom minus 4.
million=$("$bin/quarnel_combine_bench" "$COMBINE_DIR/million-distinct" "$distinct" "$COMBINE_DIR/million-lower.mbtiles" \
  "${MILLION[@]}" 12 8 | tail -1)
rm -f "$COMBINE_DIR/million-lower.mbtiles"
printf '  %s tiles with %s lower-level tiles down to zoom 8: %.1f s, peak %.1f MB (target: under 128 MB)\n' \
  "$(combine_field "$million" tiles)" "$(combine_field "$million" lower)" "$(combine_field "$million" seconds)" \
  "$(echo "$(combine_field "$million" peak_kb)/1024" | bc -l)"
[ -f "$WORK/baseline-lines.txt" ] && cat "$WORK/baseline-lines.txt" && rm -f "$WORK/baseline-lines.txt"
g=$("$bin/quarnel_combine_bench" "$COMBINE_DIR/area" "$pool" "$COMBINE_DIR/quarnel.tif" "${AREA[1]}" "${AREA[3]}" "${AREA[5]}" "${AREA[7]}" $ZOOM | tail -1)
python3 bench/tile_vrt.py "$COMBINE_DIR/area/combinebench.qrnl" "$COMBINE_DIR/area.vrt"
gd=$(measure gdal_translate -q -co TILED=YES -co BLOCKXSIZE=256 -co BLOCKYSIZE=256 -co COMPRESS=DEFLATE \
  -co BIGTIFF=IF_SAFER "$COMBINE_DIR/area.vrt" "$COMBINE_DIR/gdal.tif")
rm -f "$COMBINE_DIR/quarnel.tif" "$COMBINE_DIR/gdal.tif"
printf 'GeoTIFF of %s tiles: quarnel %.1f s, peak %.1f MB; gdal_translate of a VRT %.1f s, peak %.1f MB; ratio %.2f\n' \
  "$(combine_field "$g" tiles)" "$(combine_field "$g" seconds)" "$(echo "$(combine_field "$g" peak_kb)/1024" | bc -l)" \
  "${gd% *}" "$(echo "${gd#* }/1024" | bc -l)" "$(echo "${gd% *}/$(combine_field "$g" seconds)" | bc -l)"
fi

# ---- Scale: memory and write amplification of a long task.
scale_area() {  # side: the entries of a side x side square at zoom 16
  python3 - "$1" <<'PY'
import math, sys
side, zoom, c0, r0 = int(sys.argv[1]), 16, 30000, 20000
n = 2 ** zoom
lon = lambda c: (c + 0.5) / n * 360 - 180
lat = lambda r: math.degrees(math.atan(math.sinh(math.pi * (1 - 2 * (r + 0.5) / n))))
print(f"--left {lon(c0):.7f} --right {lon(c0 + side - 1):.7f} --top {lat(r0):.7f} --bottom {lat(r0 + side - 1):.7f}")
PY
}

scale_run() {  # side [storage]; prints "tiles seconds peak_kb written left store_bytes"
  local side=$1 storage=${2:-folder} out="$WORK/scale-stdout.txt"
  rm -rf "$SCALE_DIR"; mkdir -p "$SCALE_DIR"
  # shellcheck disable=SC2046
  local figures; figures=$(python3 bench/measure.py "$out" "$bin/quarnel-cli" --config "$(config "$SCALE_PORT")" \
    $(scale_area "$side") --zoom 16 --threads 8 --path "$SCALE_DIR" --task scale --store "$storage" | tail -1)
  local left; left=$(find "$SCALE_DIR" -type f -printf '%s\n' | awk -v o="$(stat -c %s "$out")" '{s += $1} END {print s + o}')
  local store=0; [ -f "$SCALE_DIR/scale.mbtiles" ] && store=$(stat -c %s "$SCALE_DIR/scale.mbtiles")
  echo "$((side * side)) $figures $left $store"
  rm -rf "$SCALE_DIR"
}

if [ "${SCALE:-1}" != 0 ] && [ "${STORE_ONLY:-0}" != 1 ]; then
  small=$(scale_run 317)
  big=$(scale_run 1001)
  printf '\nScale: one 562-byte tile for every address, 8 threads, files in %s\n' "$SCALE_DIR"
  printf '  %9s %9s %9s %9s %12s %10s %13s\n' tiles seconds tiles/s "peak MB" "written MB" "left MB" "written/left"
  for row in "$small" "$big"; do
    echo "$row" | awk '{printf "  %9d %9.1f %9.0f %9.1f %12.1f %10.1f %13.3f\n", $1, $2, $1/$2, $3/1024, $4/1048576, $5/1048576, $4/$5}'
  done
  echo "$small $big" | awk '{printf "  peak memory at %d tiles over %d tiles: %.3f\n", $6, $1, $8/$3}'
fi

# The 1,002,001-tile task kept in one file: its peak memory (target under
# 64 MB) and what it wrote over what it left; the file's own share (WAL
# included) is what is written beyond the text files, whose bytes are the
# same for both storages.
if [ "${SCALE:-1}" != 0 ]; then
  folder_big=${big:-}
  store_big=$(scale_run 1001 file)
  printf '\nScale, kept in one file: 1,002,001 tiles, 8 threads\n'
  echo "$store_big" | awk '{printf "  %.1f s, %.0f tiles/s, peak %.1f MB, written %.1f MB, left %.1f MB (file %.1f MB); written/left %.3f\n", $2, $1/$2, $3/1024, $4/1048576, $5/1048576, $6/1048576, $4/$5}'
  if [ -n "$folder_big" ]; then
    # The folder task wrote its texts and 562 bytes a tile: the rest of the
    # one-file task's writes went to its file and journal.
    echo "$folder_big $store_big" | awk '{texts = $4 - 562 * $1; file = $10 - texts;
      printf "  written to the file and its journal: %.1f MB for a %.1f MB file: %.2f of its size (target 1.3 or less)\n", file/1048576, $12/1048576, file/$12;
      printf "  peak memory, file over folder: %.2f\n", $9/$3}'
  fi
fi

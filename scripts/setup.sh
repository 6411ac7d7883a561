#!/usr/bin/env bash
# Installs what Quarnel needs to build, run and test from Debian's packages;
# with --package, also what building and checking its Debian package needs.
# Idempotent: only missing packages are installed, and they are named first.
set -euo pipefail

packages=(
  g++ make cmake ninja-build pkg-config ccache
  libcurl4-openssl-dev libssl-dev ca-certificates
  qt6-base-dev qt6-base-dev-tools libgl-dev libglx-dev libegl-dev
  libgtest-dev libgmock-dev
  xdg-utils locales
  clang libclang-rt-dev python3
  libgdal-dev gdal-bin libsqlite3-dev libpng-dev libjpeg-dev zlib1g-dev libdeflate-dev libexpat1-dev
  libimagequant-dev
  librsvg2-bin desktop-file-utils appstream
)
if [ "${1:-}" = "--package" ]; then
  packages+=(dpkg-dev lintian)
fi

# Node reads PMTiles back through the reference reader in the tests. A node
# and npm from elsewhere (a newer release) serve as well as Debian's.
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then packages+=(nodejs npm); fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "$(id -u)" -eq 0 ]; then as_root=(); else as_root=(sudo); fi
if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
else
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${as_root[@]}" apt-get update -q
  "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# A locale with a decimal comma, so the tests that keep it out of the files run.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  echo "setup: generating the de_DE.UTF-8 locale"
  "${as_root[@]}" sed -i 's/^# *\(de_DE\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^de_DE\.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | "${as_root[@]}" tee -a /etc/locale.gen >/dev/null
  "${as_root[@]}" locale-gen >/dev/null
fi

# The reference PMTiles reader, pinned by its lock file, beside the test that runs it.
reader="$(cd "$(dirname "$0")/.." && pwd)/tests/combine/pmtiles-reader"
if ! node -e "process.exit(require('$reader/node_modules/pmtiles/package.json').version === require('$reader/package.json').dependencies.pmtiles ? 0 : 1)" 2>/dev/null; then
  echo "setup: installing the PMTiles reader for the tests (npm)"
  (cd "$reader" && npm ci --no-audit --no-fund --loglevel=error)
fi

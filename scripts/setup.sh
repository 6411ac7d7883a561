#!/usr/bin/env bash
# Installs what Quarnel needs to build, run and test from Debian's packages.
# Idempotent: only missing packages are installed, and they are named first.
set -euo pipefail

packages=(
  g++ make cmake ninja-build pkg-config
  libcurl4-openssl-dev ca-certificates
  qt6-base-dev qt6-base-dev-tools libgl-dev libglx-dev libegl-dev
  libgtest-dev libgmock-dev
  xdg-utils
  clang libclang-rt-dev python3
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

echo "setup: installing ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then as_root=(); else as_root=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"

#!/usr/bin/env bash
# Builds the Debian package, build/quarnel_VERSION_ARCH.deb (or under
# $QUARNEL_BUILD_DIR). With --check it is then checked: lintian, the desktop's
# validators on its files and, as root on a machine without Quarnel
# installed, an apt install, a run of every program and an apt remove that
# must leave nothing behind.
set -euo pipefail
cd "$(dirname "$0")/.."
check=0
case "${1:-}" in
  "") ;;
  --check) check=1 ;;
  *) echo "usage: $0 [--check]" >&2; exit 2 ;;
esac

./scripts/setup.sh --package
./scripts/build.sh
build_dir=${QUARNEL_BUILD_DIR:-build}
rm -f "$build_dir"/quarnel_*.deb
cmake --build "$build_dir" --target package >/dev/null
deb=$(realpath "$build_dir"/quarnel_*.deb)
echo "package: $deb"
[ $check -eq 1 ] || exit 0

echo "package: lintian"
lintian --fail-on error,warning "$deb"

echo "package: desktop entries and metadata"
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
desktop-file-validate "$unpacked"/usr/share/applications/*.desktop
appstreamcli validate --no-net "$unpacked"/usr/share/metainfo/*.metainfo.xml

if [ "$(id -u)" -ne 0 ] || dpkg-query -W quarnel >/dev/null 2>&1; then
  echo "package: install check skipped (needs root and no Quarnel installed)"
  exit 0
fi
echo "package: apt install, run, apt remove"
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -q --no-install-recommends "$deb" >/dev/null
files=$(dpkg-query -L quarnel | grep -v '^/\.$')
for program in quarnel quarnel-cli quarnel-cli-combine quarnel-area-import glimmet stitchel; do
  "/usr/bin/$program" --version
done
apt-get remove -y -q quarnel >/dev/null
left=0
if dpkg-query -W quarnel >/dev/null 2>&1; then
  echo "package: dpkg still knows quarnel after its removal" >&2
  left=1
fi
while IFS= read -r path; do
  # Files must be gone; a folder may stay while another package's files or
  # the other package itself keep it.
  if [ -f "$path" ] || [ -L "$path" ] ||
     { [ -d "$path" ] && [ -z "$(ls -A "$path")" ] && ! dpkg-query -S "$path" >/dev/null 2>&1; }; then
    echo "package: left behind: $path" >&2
    left=1
  fi
done <<< "$files"
[ $left -eq 0 ] && echo "package: removed cleanly"
exit $left

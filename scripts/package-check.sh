#!/usr/bin/env bash
# Builds the Debian package from the release preset, installs it with apt as a
# user would, checks the installed commands against a virtual card, and removes
# the package again. Run as root (or with sudo) on Debian 12.
set -euo pipefail
cd "$(dirname "$0")/.."

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi

cmake --preset release
cmake --build --preset release -j "$(nproc)" --target package
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/release/CMakeCache.txt)
deb=build/release/tagquill_${version}_$(dpkg --print-architecture).deb
# Debian's own check of the package: no error and no warning.
lintian --fail-on error,warning "$deb"
if dpkg-query -W -f='${Status}' tagquill 2>/dev/null | grep -q 'install ok installed'; then
  echo "package-check: tagquill is installed already; not touching it" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get install -y "./$deb"
trap '$sudo apt-get purge -y tagquill >/dev/null' EXIT
scripts/check-installed.sh /usr
echo "package-check: $deb installs and works"

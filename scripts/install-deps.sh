#!/usr/bin/env bash
# Installs the Debian packages Tagquill needs to build, test and run, if any
# are missing. Usage: scripts/install-deps.sh [build|test|run|windows]...
set -euo pipefail

build_packages=(g++ cmake ninja-build pkg-config qt6-base-dev libgl-dev fonts-dejavu-core nlohmann-json3-dev
  libcli11-dev)
test_packages=(libgtest-dev libgmock-dev xvfb xauth clang-format-14 git clang-14 libclang-rt-14-dev)
# The package's checks and the package itself (CPack's shlibdeps needs dpkg-dev and file).
test_packages+=(desktop-file-utils appstream groff-base dpkg-dev file lintian)
run_packages=(xvfb xauth)
# Qt's own texts (Yes, No, OK) in Russian, for the Russian boxes.
run_packages+=(qt6-translations-l10n)
test_packages+=(qt6-translations-l10n)
# The PC/SC reader library builds against pcsc-lite's headers; its tests run a
# real pcscd with the vsmartcard vpcd reader.
build_packages+=(libpcsclite-dev)
test_packages+=(pcscd vsmartcard-vpcd)
# The Windows cross build (presets windows, windows-x86) and its tests under Wine.
windows_packages=(cmake ninja-build googletest nlohmann-json3-dev libcli11-dev g++-mingw-w64-x86-64-posix
  g++-mingw-w64-i686-posix wine64 wine xvfb xauth)
# The Windows screenshot (scripts/screenshot-windows.sh): ImageMagick's import takes
# the picture, fonts-wine draws the title bar's buttons.
windows_packages+=(imagemagick fonts-wine)
# The 32-bit preset's programs run under Wine's 32-bit loader, which Debian builds
# for i386 only: dpkg has to accept that architecture before apt can see it.
windows_packages+=(wine32:i386)
# The Windows tools over PC/SC (scripts/windows-pcsc-check.sh) run under Debian 13's
# Wine 10 in a tree that debootstrap makes, in namespaces whose loopback ip brings up.
windows_packages+=(debootstrap iproute2 unzip)

wanted=()
for purpose in "${@:-build test run}"; do
  case "$purpose" in
    build) wanted+=("${build_packages[@]}") ;;
    test) wanted+=("${build_packages[@]}" "${test_packages[@]}") ;;
    run) wanted+=("${build_packages[@]}" "${run_packages[@]}") ;;
    windows) wanted+=("${windows_packages[@]}") ;;
    *) echo "install-deps: unknown purpose '$purpose' (build, test, run or windows)" >&2; exit 2 ;;
  esac
done

missing=()
for package in $(printf '%s\n' "${wanted[@]}" | sort -u); do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing missing packages: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
for package in "${missing[@]}"; do
  arch=${package##*:}
  if [ "$arch" != "$package" ] && [ "$arch" != "$(dpkg --print-architecture)" ] &&
    ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
    echo "Adding the $arch architecture for ${package%%:*}"
    $sudo dpkg --add-architecture "$arch"
  fi
done
$sudo apt-get update
$sudo apt-get install -y --no-install-recommends "${missing[@]}"

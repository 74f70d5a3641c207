#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test suite in the dev,
# asan (AddressSanitizer + UBSan) and tsan (ThreadSanitizer) configurations, the
# fuzz programs, the Windows builds under Wine, the 64-bit Windows tools over PC/SC
# under Debian 13's Wine 10 and the Debian package.
set -euo pipefail
cd "$(dirname "$0")/.."

# How long each part took, printed at the end: CI has a time budget.
timings=()
phase_started=$SECONDS
timed() {
  timings+=("$(printf '%5ds  %s' $((SECONDS - phase_started)) "$1")")
  phase_started=$SECONDS
}

scripts/install-deps.sh test
timed "install packages"

# CI treats compiler warnings as errors.
if [ "${CI:-}" = "true" ]; then
  export TAGQUILL_WERROR=ON
fi

scripts/check-format.sh
timed "format check"

jobs=$(nproc)
for preset in ${TAGQUILL_PRESETS:-dev asan tsan}; do
  echo "=== $preset: configure and build ==="
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$jobs"
  echo "=== $preset: test ==="
  timed "$preset build"
  ctest --preset "$preset" -j "$jobs"
  timed "$preset tests"
done
# Every fuzz program for a bounded time (fuzz preset, clang).
scripts/fuzz.sh
timed "fuzz"
# The Windows builds (mingw-w64) and their tests under Wine; TAGQUILL_WINDOWS=0 skips them.
if [ "${TAGQUILL_WINDOWS:-1}" = 1 ]; then
  scripts/windows-check.sh
  timed "Windows builds and Wine tests"
  # The 64-bit zip's tools over PC/SC under Debian 13's Wine 10, in a Debian 13 tree
  # made once per machine: debootstrap, chroot and namespaces need root;
  # TAGQUILL_WINDOWS_PCSC=0 skips it.
  if [ "${TAGQUILL_WINDOWS_PCSC:-1}" = 1 ] && [ "$(id -u)" -eq 0 ]; then
    scripts/windows-pcsc-check.sh
    timed "Windows tools over PC/SC under Wine 10"
  fi
fi
# The Debian package: built from the release preset, installed with apt, checked
# against a virtual card and removed again. It installs system-wide, so only as
# root; TAGQUILL_PACKAGE=0 skips it.
if [ "${TAGQUILL_PACKAGE:-1}" = 1 ] && [ "$(id -u)" -eq 0 ]; then
  echo "=== release: package, install, check, remove ==="
  scripts/package-check.sh
  timed "Debian package"
fi
printf '%s\n' "${timings[@]}"
echo "All test suites passed in $SECONDS s."

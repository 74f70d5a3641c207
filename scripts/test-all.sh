#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test suite in the dev,
# asan (AddressSanitizer + UBSan) and tsan (ThreadSanitizer) configurations, the
# fuzz programs, the Windows builds under Wine and the Debian package.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh test

# CI treats compiler warnings as errors.
if [ "${CI:-}" = "true" ]; then
  export TAGQUILL_WERROR=ON
fi

scripts/check-format.sh

jobs=$(nproc)
for preset in ${TAGQUILL_PRESETS:-dev asan tsan}; do
  echo "=== $preset: configure and build ==="
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$jobs"
  echo "=== $preset: test ==="
  ctest --preset "$preset" -j "$jobs"
done
# Every fuzz program for a bounded time (fuzz preset, clang).
scripts/fuzz.sh
# The Windows builds (mingw-w64) and their tests under Wine; TAGQUILL_WINDOWS=0 skips them.
if [ "${TAGQUILL_WINDOWS:-1}" = 1 ]; then
  scripts/windows-check.sh
fi
# The Debian package: built from the release preset, installed with apt, checked
# against a virtual card and removed again. It installs system-wide, so only as
# root; TAGQUILL_PACKAGE=0 skips it.
if [ "${TAGQUILL_PACKAGE:-1}" = 1 ] && [ "$(id -u)" -eq 0 ]; then
  echo "=== release: package, install, check, remove ==="
  scripts/package-check.sh
fi
echo "All test suites passed."

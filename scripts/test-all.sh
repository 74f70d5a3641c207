#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test suite in the dev,
# asan (AddressSanitizer + UBSan) and tsan (ThreadSanitizer) configurations.
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
echo "All test suites passed."

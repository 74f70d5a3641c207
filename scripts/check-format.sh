#!/usr/bin/env bash
# Checks that every C++ source file matches .clang-format; --fix reformats them.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
  clang-format-14 -i "${files[@]}"
else
  clang-format-14 --dry-run --Werror "${files[@]}"
  echo "Formatting: ${#files[@]} files match .clang-format."
fi

#!/usr/bin/env bash
# The Windows builds, from this Linux machine: the 64-bit preset and the 32-bit one
# (the one the maker's DLLs fit), each built whole, its test programs run under the
# Wine loader of its width, and its zip unpacked and used. The 32-bit reader
# libraries are also checked to export the API under plain names.
# TAGQUILL_WINDOWS_ALL_TESTS=1 also runs the tests labelled wine-manual, which take
# too long under Wine for every run.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh windows
jobs=$(nproc)
# The prefixes both presets share (TAGQUILL_WINE_PREFIXES in CMakePresets.json).
prefixes=$PWD/build/wine
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

build_and_test() {
  local preset=$1
  echo "=== $preset: configure, build, package ==="
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$jobs" --target package
  echo "=== $preset: test under Wine ==="
  if [ "${TAGQUILL_WINDOWS_ALL_TESTS:-0}" = 1 ]; then
    # The test preset leaves the wine-manual tests out; the build folder has them all.
    ctest --test-dir "build/$preset" -j "$jobs" --output-on-failure
  else
    ctest --preset "$preset" -j "$jobs"
  fi
}

# Runs a program of the unpacked zip on the zip's own virtual reader.
zip_run() {
  TAGQUILL_VREADER_DIR="$state" scripts/wine.sh run "$bits" "$prefixes/tests" "$folder/$1" "${@:2}"
}
expect_notice() {
  if [ "$(zip_run tagquill-notice.exe read --reader COM1 | tr -d '\r')" != "$1" ]; then
    echo "$preset: $2" >&2
    exit 1
  fi
}

# A preset's zip, unpacked anywhere, as a user has it: its tools write and read a
# notice, and its window saves one.
check_zip() {
  local preset=$1 bits=$2
  echo "=== $preset: the zip, unpacked: its tools and its window save and load a notice ==="
  local name unpacked folder state
  name=$(cat "build/$preset/package-name.txt")
  unpacked=$scratch/$preset
  unzip -q "build/$preset/$name.zip" -d "$unpacked"
  folder=$unpacked/$name
  state="Z:${unpacked//\//\\}\\state"
  zip_run tagquill-vreader.exe init >/dev/null
  zip_run tagquill-vreader.exe new-card 1k --reader COM1 >/dev/null
  zip_run tagquill-notice.exe write --reader COM1 "Written from the zip"
  expect_notice "Written from the zip" "the notice written from the zip does not read back"
  # Windows text: both tools end their lines with CR LF in a pipe, on both streams,
  # and --json stays one object a line.
  local json vreader failure
  json=$(zip_run tagquill-notice.exe info --reader COM1 --json)
  vreader=$(zip_run tagquill-vreader.exe list)
  failure=$(zip_run tagquill-notice.exe read --reader COM1 --key wrong 2>&1 >/dev/null || true)
  if [[ "$json" != "{"*"}"$'\r' || "$vreader" != *$'\r' || "$failure" != *$'\r' ]]; then
    echo "$preset: a tool's text does not end its lines with CR LF" >&2
    exit 1
  fi
  # The window, as a user drives it: COM1 in the reader list (from Wine's registry),
  # Connect, Load, the notice replaced by typing, Save, close.
  TAGQUILL_VREADER_DIR="$state" scripts/wine-gui.sh "$prefixes/gui" \
    sh -c '"$1" "$2" & program=$!
           "$1" "$3" --save || { "$1" "$3" --close; wait $program; exit 1; }
           wait $program' \
    sh "$(scripts/wine.sh loader "$bits")" "$folder/tagquill.exe" \
    "$PWD/build/$preset/bin/tagquill-screenshot.exe"
  expect_notice "Meeting room B, 14:00
Bring the reader." "the notice saved in the zip's window does not read back"
}

build_and_test windows
check_zip windows 64

build_and_test windows-x86
# GetProcAddress(h, "ACR120_Open") must find our functions as it finds the maker's.
for dll in ACR120 ACR120U; do
  exports=$(i686-w64-mingw32-objdump -p "build/windows-x86/bin/$dll.dll" |
    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p')
  for name in ACR120_Open ACR120_Close ACR120_Login ACR120_Read ACR120_Write Tagquill_ListPorts; do
    if ! grep -qE "\] $name\$" <<<"$exports"; then
      echo "windows-x86: $dll.dll does not export $name under its plain name" >&2
      echo "$exports" >&2
      exit 1
    fi
  done
done
check_zip windows-x86 32
echo "Windows builds checked."

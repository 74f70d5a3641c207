#!/usr/bin/env bash
# The Windows builds, from this Linux machine: the 64-bit preset built whole, its
# test programs run under Wine and its zip unpacked and used; the 32-bit preset (the
# one the maker's DLLs fit) built and linked with its tests, and its reader libraries
# checked to export the API under plain names.
# TAGQUILL_WINDOWS_ALL_TESTS=1 also runs the tests labelled wine-manual, which take
# too long under Wine for every run.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh windows
jobs=$(nproc)

echo "=== windows: configure and build ==="
cmake --preset windows
cmake --build --preset windows -j "$jobs"
echo "=== windows: test under Wine ==="
if [ "${TAGQUILL_WINDOWS_ALL_TESTS:-0}" = 1 ]; then
  ctest --preset windows -j "$jobs"
else
  ctest --preset windows -j "$jobs" -LE wine-manual
fi

echo "=== windows: the zip, unpacked: its tools and its window save and load a notice ==="
cmake --build --preset windows --target package
zip=$(ls build/windows/tagquill-*-windows-x64.zip)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
unzip -q "$zip" -d "$scratch"
folder=$(echo "$scratch"/tagquill-*)
wine=$(grep '^TAGQUILL_WINE64:' build/windows/CMakeCache.txt | cut -d= -f2)
state="Z:${scratch//\//\\}\\state"
run() {
  WINEPREFIX="$PWD/build/windows/wineprefix" WINEDEBUG=-all TAGQUILL_VREADER_DIR="$state" \
    "$wine" "$folder/$1" "${@:2}"
}
expect_notice() {
  if [ "$(run tagquill-notice.exe read --reader COM1 | tr -d '\r')" != "$1" ]; then
    echo "windows: $2" >&2
    exit 1
  fi
}
run tagquill-vreader.exe init >/dev/null
run tagquill-vreader.exe new-card 1k --reader COM1 >/dev/null
run tagquill-notice.exe write --reader COM1 "Written from the zip"
expect_notice "Written from the zip" "the notice written from the zip does not read back"
# The window, as a user drives it: COM1 in the reader list (from Wine's registry),
# Connect, Load, the notice replaced by typing, Save, close.
TAGQUILL_VREADER_DIR="$state" scripts/wine-gui.sh "$PWD/build/windows/wineprefix-gui" \
  sh -c '"$WINE64" "$1" & program=$!
         "$WINE64" "$2" --save || { "$WINE64" "$2" --close; wait $program; exit 1; }
         wait $program' \
  sh "$folder/tagquill.exe" "$PWD/build/windows/bin/tagquill-screenshot.exe"
expect_notice "Meeting room B, 14:00
Bring the reader." "the notice saved in the zip's window does not read back"

# Its tests are built and linked but not run: this machine cannot run 32-bit programs.
echo "=== windows-x86: configure, build everything, package ==="
cmake --preset windows-x86
cmake --build --preset windows-x86 -j "$jobs" --target package
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
echo "Windows builds checked."

#!/bin/sh
# Makes docs/screenshot-windows.png from the real Windows program under Wine: a
# throw-away virtual reader with a blank 1K card in COM1's field, tagquill.exe on
# a virtual display (or yours), driven as a user would drive it (Connect, Load,
# type a notice) by tagquill-screenshot.exe, and the window's picture taken.
#
# Usage: scripts/screenshot-windows.sh [--bin-dir DIR] [--out FILE]
#   --bin-dir  folder with tagquill.exe, tagquill-screenshot.exe,
#              tagquill-vreader.exe and the reader DLLs; without it the windows
#              preset is built first
#   --out      the picture to write (default: docs/screenshot-windows.png)
# Needs wine64, xvfb-run and ImageMagick's import
# (scripts/install-deps.sh windows).
set -eu

repo=$(cd "$(dirname "$0")/.." && pwd)
bin_dir=
capture=0
out="$repo/docs/screenshot-windows.png"
while [ $# -gt 0 ]; do
    case "$1" in
        --bin-dir) bin_dir=$2; shift 2 ;;
        --out) out=$2; shift 2 ;;
        --capture) capture=1; shift; break ;;
        -h|--help) sed -n '2,13p' "$0"; exit 0 ;;
        *) echo "screenshot-windows.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done

if [ "$capture" = 0 ]; then
    # Outside the display: prepare, then run this script again inside it.
    if [ -z "$bin_dir" ]; then
        cmake --preset windows -S "$repo" >/dev/null
        cmake --build "$repo/build/windows" \
            --target tagquill tagquill-screenshot tagquill-vreader acr120 acr120u
        bin_dir="$repo/build/windows/bin"
    fi
    bin_dir=$(cd "$bin_dir" && pwd)
    for tool in tagquill tagquill-screenshot tagquill-vreader; do
        if [ ! -f "$bin_dir/$tool.exe" ]; then
            echo "screenshot-windows.sh: $bin_dir/$tool.exe is missing" >&2
            exit 1
        fi
    done
    state=$(mktemp -d)
    trap 'rm -rf "$state"' EXIT INT TERM
    export TAGQUILL_VREADER_DIR="$state"
    mkdir -p "$(dirname "$out")"
    out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")
    "$repo/scripts/wine-gui.sh" "$bin_dir/../wineprefix-screenshot" \
        "$0" --capture "$bin_dir" "$out"
    echo "wrote $out"
    exit 0
fi

# Inside the display, with the Wine environment set.
bin_dir=$1
out=$2
cd "$bin_dir"
"$WINE64" tagquill-vreader.exe init >/dev/null
"$WINE64" tagquill-vreader.exe new-card 1k --uid 1A2B3C4D --name demo.mfd --reader COM1 >/dev/null
"$WINE64" tagquill.exe &
program=$!
if ! "$WINE64" tagquill-screenshot.exe; then
    "$WINE64" tagquill-screenshot.exe --close || true
    wait "$program" || true
    exit 1
fi
# Let the last keystrokes paint.
sleep 1
import -window "SDK sample : Tagquill" "$out"
"$WINE64" tagquill-screenshot.exe --close
wait "$program"

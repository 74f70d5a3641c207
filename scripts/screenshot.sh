#!/bin/sh
# Makes docs/screenshot.png from the real window: a throw-away virtual reader
# with a blank 1K card in COM1's field, the program's own dialog driven as a user
# would drive it (Connect, Load, type a notice), rendered on Qt's offscreen
# platform, so no display is needed.
#
# Usage: scripts/screenshot.sh [--bin-dir DIR] [--out FILE]
#   --bin-dir  folder with tagquill-screenshot, tagquill-vreader and the reader
#              libraries; without it the dev preset is built first
#   --out      the picture to write (default: docs/screenshot.png)
set -eu

repo=$(cd "$(dirname "$0")/.." && pwd)
bin_dir=
out="$repo/docs/screenshot.png"
while [ $# -gt 0 ]; do
    case "$1" in
        --bin-dir) bin_dir=$2; shift 2 ;;
        --out) out=$2; shift 2 ;;
        -h|--help) sed -n '2,11p' "$0"; exit 0 ;;
        *) echo "screenshot.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done

if [ -z "$bin_dir" ]; then
    cmake --preset dev -S "$repo" >/dev/null
    cmake --build "$repo/build/dev" --target tagquill-screenshot tagquill-vreader acr120 acr120u
    bin_dir="$repo/build/dev/bin"
fi
for tool in tagquill-screenshot tagquill-vreader; do
    if [ ! -x "$bin_dir/$tool" ]; then
        echo "screenshot.sh: $bin_dir/$tool is missing (built with TAGQUILL_BUILD_GUI=ON?)" >&2
        exit 1
    fi
done

state=$(mktemp -d)
trap 'rm -rf "$state"' EXIT INT TERM
export TAGQUILL_VREADER_DIR="$state"
export TAGQUILL_PCSC=off # the virtual readers alone, whatever readers this machine has
"$bin_dir/tagquill-vreader" init >/dev/null
"$bin_dir/tagquill-vreader" new-card 1k --uid 1A2B3C4D --name demo.mfd --reader COM1 >/dev/null

mkdir -p "$(dirname "$out")"
QT_QPA_PLATFORM=offscreen "$bin_dir/tagquill-screenshot" "$out"
echo "wrote $out"

#!/bin/sh
# Runs a command that shows Windows windows under Wine: on the caller's display,
# or on a virtual one (xvfb-run) when there is none.
#
# Usage: scripts/wine-gui.sh PREFIX COMMAND [ARG]...
#   PREFIX   a Wine prefix for these runs alone, made on first use. Windows
#            of one Wine prefix share one desktop, bound to the display of the
#            first program that needed it, so runs on a virtual display keep
#            away from the prefix that other tests use without one.
# COMMAND runs with the environment of scripts/wine.sh (WINEPREFIX, WINEDEBUG,
# and the loaders in WINE32 and WINE64).
set -eu

if [ $# -lt 2 ]; then
    sed -n '5,11p' "$0" >&2
    exit 2
fi
wine=$(dirname "$0")/wine.sh
if [ -n "${DISPLAY:-}" ]; then
    exec "$wine" in "$@"
fi
prefix=$1
shift
exec "$wine" in "$prefix" xvfb-run -a -s "-screen 0 1024x768x24" "$@"

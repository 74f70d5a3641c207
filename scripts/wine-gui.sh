#!/bin/sh
# Runs a command that shows Windows windows under Wine: on the caller's display,
# or on a virtual one (xvfb-run) when there is none.
#
# Usage: scripts/wine-gui.sh PREFIX COMMAND [ARG]...
#   PREFIX   a Wine prefix for these runs alone, created on first use. Windows
#            of one Wine prefix share one desktop, bound to the display of the
#            first program that needed it, so runs on a virtual display keep
#            away from the prefix that other tests use without one.
# COMMAND runs with WINEPREFIX, WINEDEBUG=-all and WINE64 (the wine64 loader) set.
set -eu

if [ $# -lt 2 ]; then
    sed -n '5,11p' "$0" >&2
    exit 2
fi
WINEPREFIX=$1
shift

# Debian's wine64 keeps its loader out of PATH.
WINE64=/usr/lib/wine/wine64
[ -x "$WINE64" ] || WINE64=$(command -v wine64)
WINEDEBUG=-all
# No offer to install Mono or Gecko when the prefix is made.
WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX WINE64 WINEDEBUG WINEDLLOVERRIDES

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    env -u DISPLAY "$WINE64" wineboot --init >/dev/null 2>&1
    # Windows draw their own title bars: a virtual display has no window manager.
    env -u DISPLAY "$WINE64" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f \
        >/dev/null 2>&1
    # The title bar buttons' glyphs are Marlett's (fonts-wine), which Wine takes
    # only from the prefix's own font folder. The dialog text keeps the system's
    # fonts: Wine's own Tahoma runs wider than the template's labels allow.
    if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
        cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    fi
    wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
    "$wineserver" --wait
fi

if [ -n "${DISPLAY:-}" ]; then
    exec "$@"
fi
exec xvfb-run -a -s "-screen 0 1024x768x24" "$@"

#!/bin/sh
# Wine for the Windows builds: where its loaders are, and the prefixes the tests,
# the checks and the screenshot run in. CMake, the check scripts and wine-gui.sh
# all come here, so a prefix is made one way and a loader is looked for once.
#
# Usage: scripts/wine.sh loader 32|64
#          prints the path of the 32- or 64-bit loader; exits 1 if it is missing
#        scripts/wine.sh in PREFIX COMMAND [ARG]...
#          makes PREFIX a Wine prefix if it is none yet, then runs COMMAND with
#          WINEPREFIX, WINEDEBUG=-all, WINEDLLOVERRIDES and WINE32 / WINE64 (the
#          loaders that exist) set
#        scripts/wine.sh run 32|64 PREFIX PROGRAM [ARG]...
#          runs the Windows PROGRAM with that loader in PREFIX (made if needed)
set -eu

usage() {
    sed -n '6,13p' "$0" >&2
    exit 2
}

# Debian keeps its Wine programs out of PATH; the 32-bit loader comes with wine32:i386.
loader() {
    case "$1" in
        32) name=wine ;;
        64) name=wine64 ;;
        *) usage ;;
    esac
    if [ -x "/usr/lib/wine/$name" ]; then
        echo "/usr/lib/wine/$name"
    elif [ "$1" = 64 ] && command -v wine64 >/dev/null 2>&1; then
        command -v wine64
    else
        echo "wine.sh: no $1-bit Wine loader (scripts/install-deps.sh windows installs it)" >&2
        return 1
    fi
}

# The server binary itself: Debian's wineserver wrapper fixes the time it outlives
# its last program at zero.
server() {
    for binary in /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver32; do
        if [ -x "$binary" ]; then
            echo "$binary"
            return
        fi
    done
    command -v wineserver
}

setup_environment() {
    # Wine takes an absolute prefix only.
    case "$1" in
        /*) WINEPREFIX=$1 ;;
        *) WINEPREFIX=$PWD/$1 ;;
    esac
    WINEDEBUG=-all
    # No offer to install Mono or Gecko when the prefix is made.
    WINEDLLOVERRIDES="mscoree,mshtml="
    export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
    if WINE32=$(loader 32 2>/dev/null); then export WINE32; fi
    if WINE64=$(loader 64 2>/dev/null); then export WINE64; fi
    # One prefix serves both loaders: made by the 64-bit loader while the 32-bit one
    # is installed, it holds the 32-bit system beside the 64-bit one.
    maker=${WINE64:-${WINE32:-}}
    if [ -z "$maker" ]; then
        loader 64 >/dev/null
    fi
    mkdir -p "$(dirname "$WINEPREFIX")"
}

make_prefix() {
    if [ -f "$WINEPREFIX/system.reg" ]; then
        return
    fi
    echo "Making the Wine prefix $WINEPREFIX" >&2
    env -u DISPLAY "$maker" wineboot --init >/dev/null 2>&1 9>&-
    # Windows draw their own title bars: a virtual display has no window manager.
    env -u DISPLAY "$maker" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f \
        >/dev/null 2>&1 9>&-
    # The title bar buttons' glyphs are Marlett's (fonts-wine), which Wine takes
    # only from the prefix's own font folder. The dialog text keeps the system's
    # fonts: Wine's own Tahoma runs wider than the template's labels allow.
    if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
        cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    fi
    "$(server)" --wait 9>&-
}

# The first program of a Wine session starts the server and the system programs
# (services, explorer, ...), which keep that program's standard error open until
# the session ends. A test run waits for the end of a test's output, so a short test
# that happened to start the session would last as long as the longest test beside
# it, or time out. So a quiet wineboot starts the session, and the server outlives
# its last program by a few seconds, for the next one to use.
start_session() {
    if "$(server)" -p10 </dev/null >/dev/null 2>&1 9>&-; then
        "$maker" wineboot </dev/null >/dev/null 2>&1 9>&-
    fi
}

# Parallel runs that find no prefix or no session wait for the first to make it.
# What Wine starts here lives on, so it must not inherit the lock.
prepare() {
    (
        flock 9
        make_prefix
        if [ "$1" = session ]; then
            start_session
        fi
    ) 9>"$WINEPREFIX.lock"
}

[ $# -ge 1 ] || usage
command=$1
shift
case "$command" in
    loader)
        [ $# -eq 1 ] || usage
        loader "$1"
        ;;
    in)
        # Programs that show windows start their session themselves, on the display
        # COMMAND may yet set up.
        [ $# -ge 2 ] || usage
        setup_environment "$1"
        shift
        prepare prefix
        exec "$@"
        ;;
    run)
        [ $# -ge 3 ] || usage
        program_loader=$(loader "$1")
        setup_environment "$2"
        shift 2
        prepare session
        exec "$program_loader" "$@"
        ;;
    *) usage ;;
esac

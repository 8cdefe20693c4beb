# shellcheck shell=bash
# Shell helpers shared by tools/*.sh (sourced, not run).

QUILLON_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Whether this machine starts Wine's 32-bit loader, that is whether its kernel runs 32-bit x86
# code (asked once).
quillon_runs_32bit() {
    if [[ -z ${_quillon_runs_32bit:-} ]]; then
        _quillon_runs_32bit=0
        /usr/lib/wine/wine --version >/dev/null 2>&1 && _quillon_runs_32bit=1
    fi
    ((_quillon_runs_32bit))
}

# A kernel without 32-bit x86 support cannot start Wine's 32-bit loader, which /usr/bin/wine
# prefers whenever wine32 is installed. There Wine must run through its 64-bit loader alone:
# build/wine-shim holds `wine` and `wine-stable` that start it, and goes first in PATH. 32-bit
# Windows programs cannot run on such a machine.
quillon_wine_shim() {
    local shim=$QUILLON_ROOT/build/wine-shim name
    [[ -x /usr/lib/wine/wine64 ]] || return 0
    if quillon_runs_32bit; then
        return 0
    fi
    mkdir -p "$shim"
    for name in wine wine-stable; do
        printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n' >"$shim/$name"
        chmod +x "$shim/$name"
    done
    case ":$PATH:" in
    *":$shim:"*) ;;
    *) export PATH="$shim:$PATH" ;;
    esac
}
quillon_wine_shim

# The project's Wine prefix, unless WINEPREFIX says otherwise.
quillon_prefix() {
    echo "${WINEPREFIX:-$QUILLON_ROOT/build/wineprefix}"
}

# Starts an Xvfb on a free display number (Xvfb picks it: -displayfd) and exports DISPLAY.
# Sets XVFB_PID. Usage: start_xvfb [WIDTHxHEIGHTxDEPTH]
start_xvfb() {
    local screen=${1:-1024x768x24} out i
    out=$(mktemp)
    # In a session of its own, so that Ctrl-C reaches the program but not the X server, which
    # is stopped last by the caller's cleanup.
    setsid Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset 3>"$out" >/dev/null 2>&1 &
    XVFB_PID=$!
    for ((i = 0; i < 200; i++)); do
        [[ -s $out ]] && break
        if ! kill -0 "$XVFB_PID" 2>/dev/null; then
            rm -f "$out"
            echo "Xvfb failed to start" >&2
            return 1
        fi
        sleep 0.05
    done
    if [[ ! -s $out ]]; then
        rm -f "$out"
        echo "Xvfb did not report its display" >&2
        return 1
    fi
    DISPLAY=:$(head -n1 "$out")
    export DISPLAY
    rm -f "$out"
}

stop_xvfb() {
    if [[ -n ${XVFB_PID:-} ]]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
        XVFB_PID=
    fi
}

# Machine type of a PE file: prints 32 or 64 (nothing if it is not a PE file).
pe_bits() {
    local f=$1 off machine
    off=$(od -An -tu4 -j60 -N4 "$f" 2>/dev/null | tr -d ' ') || return 0
    [[ -n $off ]] || return 0
    machine=$(od -An -tx2 -j$((off + 4)) -N2 "$f" 2>/dev/null | tr -d ' ')
    case $machine in
    014c) echo 32 ;;
    8664) echo 64 ;;
    esac
}

# Finds a built probe.exe of the given bitness (32 or 64; empty: any), the newest first.
# QUILLON_PROBE and QUILLON_PROBE64 name them explicitly; otherwise build/ and dist/ are searched
# (not the Wine prefixes in there).
find_probe() {
    local want=${1:-} f
    for f in ${QUILLON_PROBE:-} ${QUILLON_PROBE64:-}; do
        if [[ -f $f && (-z $want || $(pe_bits "$f") == "$want") ]]; then
            echo "$f"
            return 0
        fi
    done
    while read -r _ f; do
        if [[ -z $want || $(pe_bits "$f") == "$want" ]]; then
            echo "$f"
            return 0
        fi
    done < <(find "$QUILLON_ROOT/build" "$QUILLON_ROOT/dist" \( -name drive_c -o -name CMakeFiles \) -prune -o \
        -name probe.exe -type f -printf '%T@ %p\n' 2>/dev/null | sort -rn)
    return 1
}

# Imports registry settings into the prefix: REGEDIT5 text (UTF-8) on stdin, one reg.exe run,
# into the 64-bit view of HKLM\Software (what 64-bit Wine itself reads; keys such as FontLink are
# shared by both views). A value of - deletes the value ("Name"=-), a key in [-...] is deleted.
import_reg() {
    local f rc=0
    f=$(mktemp --suffix=.reg)
    { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE; } >"$f"
    wine reg import "$f" /reg:64 >/dev/null || rc=$?
    rm -f "$f"
    return $rc
}

# Sets the session-wide Wine display mode in the prefix's registry; takes effect for processes
# started afterwards (restart the prefix's wineserver to be sure).
#   desktop [WxH]  one virtual desktop window with explorer's taskbar and notification area
#   windows        one X window per Windows window, left to the X window manager
#   unmanaged      one X window per Windows window, frames drawn by Wine itself (for an X
#                  display without window manager: hiding a managed window there waits 2 s
#                  for a window manager that never answers)
set_display_mode() {
    local mode=$1 size=${2:-1024x768} desktop=- managed=-
    case $mode in
    desktop) desktop='"shell"' ;;
    windows) ;;
    unmanaged) managed='"N"' ;;
    *)
        echo "unknown display mode $mode" >&2
        return 1
        ;;
    esac
    import_reg <<EOF
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\Explorer]
"Desktop"=$desktop

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"shell"="$size"

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"=$managed
EOF
}

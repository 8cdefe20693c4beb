#!/usr/bin/env bash
# Starts a Windows program (Quillon by default) under Wine in the project's prefix, waits for its
# main window, saves a screenshot to build/screenshot.png and stays until the program ends or
# Ctrl-C; then ends the program, the prefix's wineserver and, if it started one, its Xvfb.
#
#   tools/run.sh [options] EXE [ARGS...]
#
# A 32-bit EXE is started as its 64-bit build x64/EXE where the machine runs no 32-bit x86 code.
#
# With DISPLAY set the program appears on that display, each window an X window of its own;
# without DISPLAY an Xvfb is started, showing a Wine virtual desktop with taskbar and
# notification area.
#
# Options:
#   --desktop [WxH]   use a Wine virtual desktop (default on a private Xvfb; size 1024x768)
#   --no-desktop      separate X windows also on a private Xvfb (drawn unmanaged)
#   --class CLASS     window class to wait for (default frmMain)
#   --timeout SEC     how long to wait for the window (default 30)
#   --screenshot FILE where to save the screenshot (default build/screenshot.png)
#   --exit            leave (and clean up) right after the screenshot
set -euo pipefail
# shellcheck source=tools/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

usage() {
    sed -n '2,/^set -euo/p' "${BASH_SOURCE[0]}" | sed '$d; s/^# \{0,1\}//'
    exit 2
}

run_args=("$@")
desktop=auto size=1024x768 cls=frmMain timeout=30 exit_after=0
shot=$QUILLON_ROOT/build/screenshot.png
while (($#)); do
    case $1 in
    --desktop)
        desktop=1
        if [[ ${2:-} =~ ^[0-9]+x[0-9]+$ ]]; then
            size=$2
            shift
        fi
        ;;
    --no-desktop) desktop=0 ;;
    --class)
        cls=$2
        shift
        ;;
    --timeout)
        timeout=$2
        shift
        ;;
    --screenshot)
        shot=$2
        shift
        ;;
    --exit) exit_after=1 ;;
    -h | --help) usage ;;
    --)
        shift
        break
        ;;
    -*)
        echo "run.sh: unknown option $1" >&2
        usage
        ;;
    *) break ;;
    esac
    shift
done
(($#)) || usage
exe=$1
shift
if [[ ! -f $exe ]]; then
    echo "run.sh: no such program: $exe" >&2
    exit 1
fi
exe=$(realpath "$exe")

# A prefix of its own, which the tests never write to: a first `make run` starts like a first run
# on a new machine, without the settings and the program the tests stored.
WINEPREFIX=${WINEPREFIX:-$QUILLON_ROOT/build/wineprefix-run}
export WINEPREFIX
mkdir -p "$(dirname "$WINEPREFIX")"

# One session per prefix at a time (the end-to-end tests take the same lock): go on under the
# lock, which flock -o keeps away from the processes started here.
if [[ -z ${QUILLON_RUN_LOCKED:-} ]]; then
    rc=0
    QUILLON_RUN_LOCKED=1 flock -n -o -E 75 "$WINEPREFIX.session.lock" "${BASH_SOURCE[0]}" "${run_args[@]}" || rc=$?
    if ((rc == 75)); then
        echo "run.sh: the Wine prefix $WINEPREFIX is in use (tests or another run.sh)" >&2
    fi
    exit "$rc"
fi

# Wine cannot start a 32-bit program where the kernel runs no 32-bit x86 code: there the 64-bit
# build of the same program (x64/ beside it, as in the release) is started instead.
if [[ $(pe_bits "$exe") == 32 ]] && ! quillon_runs_32bit; then
    exe64=$(dirname "$exe")/x64/$(basename "$exe")
    if [[ ! -f $exe64 || $(pe_bits "$exe64") != 64 ]]; then
        echo "run.sh: this machine runs no 32-bit x86 code, so Wine cannot start the 32-bit ${exe#"$QUILLON_ROOT"/}, and there is no 64-bit ${exe64#"$QUILLON_ROOT"/} to start instead" >&2
        exit 1
    fi
    echo "run.sh: this machine runs no 32-bit x86 code, so Wine cannot start the 32-bit ${exe#"$QUILLON_ROOT"/}: starting the 64-bit ${exe64#"$QUILLON_ROOT"/} instead"
    exe=$exe64
fi

"$QUILLON_ROOT/tools/wineprefix.sh"
export WINEDEBUG=${WINEDEBUG:-fixme-all}
export LANG=${LANG:-C.UTF-8}
[[ $LANG == *UTF-8* || $LANG == *utf8* ]] || export LANG=C.UTF-8

own_xvfb=0
if [[ -z ${DISPLAY:-} ]]; then
    start_xvfb "${size}x24"
    own_xvfb=1
    [[ $desktop == auto ]] && desktop=1
    echo "run.sh: started Xvfb on $DISPLAY (pid $XVFB_PID)"
fi
[[ $desktop == auto ]] && desktop=0

prog_pid=
cleaned=0
cleanup() {
    ((cleaned)) && return 0
    cleaned=1
    if [[ -n $prog_pid ]] && kill -0 "$prog_pid" 2>/dev/null; then
        kill "$prog_pid" 2>/dev/null || true
    fi
    wineserver -k >/dev/null 2>&1 || true
    ((own_xvfb)) && stop_xvfb
    return 0
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# A session of the prefix may still run (another run.sh, tests); the display mode is a
# session-wide setting, so start from a clean session.
wineserver -k >/dev/null 2>&1 || true
wineserver -w >/dev/null 2>&1 || true
if ((desktop)); then
    set_display_mode desktop "$size"
elif ((own_xvfb)); then
    set_display_mode unmanaged
else
    set_display_mode windows
fi

log=$QUILLON_ROOT/build/run-wine.log
mkdir -p "$(dirname "$log")" "$(dirname "$shot")"
(cd "$(dirname "$exe")" && exec wine "$exe" "$@") > >(tee "$log") 2>&1 &
prog_pid=$!
echo "run.sh: started $(basename "$exe") (pid $prog_pid) in $WINEPREFIX; Wine output: $log"

# Probe output goes through a file: a Windows process started on the way (explorer) would
# inherit a pipe and keep $(...) waiting.
if quillon_runs_32bit; then
    probe=$(find_probe 32 || find_probe 64 || true)
else
    probe=$(find_probe 64 || true)
fi
xid=
out=$(mktemp)
if [[ -n $probe ]]; then
    if wine "$probe" wait "$cls" $((timeout * 1000)) >"$out" 2>/dev/null; then
        hwnd=$(tr -dc 0-9 <"$out")
        echo "run.sh: window $cls is up (HWND $hwnd)"
        wine "$probe" dump "$hwnd" >"$out" 2>/dev/null || true
        xid=$(sed -n 's/.*"xid":\([0-9]*\).*/\1/p' "$out")
    else
        echo "run.sh: no visible window of class $cls after $timeout s" >&2
    fi
else
    echo "run.sh: no probe.exe built (build the Windows tree); waiting 5 s instead" >&2
    sleep 5
fi
rm -f "$out"

if kill -0 "$prog_pid" 2>/dev/null; then
    sleep 0.5 # let it paint
    # On a private display the whole screen; on the user's display only the program's window.
    if ((own_xvfb)) || ((desktop)) || [[ -z $xid || $xid == 0 ]]; then
        target=root
    else
        target=$xid
    fi
    if import -display "$DISPLAY" -window "$target" "$shot" 2>/dev/null; then
        echo "run.sh: screenshot saved to $shot"
    else
        echo "run.sh: taking the screenshot failed" >&2
    fi
fi

if ((exit_after)); then
    exit 0
fi
if kill -0 "$prog_pid" 2>/dev/null; then
    echo "run.sh: running; Ctrl-C ends it"
fi
rc=0
wait "$prog_pid" || rc=$?
prog_pid=
echo "run.sh: program ended (exit code $rc)"
exit "$rc"

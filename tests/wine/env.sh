#!/usr/bin/env bash
# The Wine environment shared by every Windows test program of one test run,
# one per architecture.
#
#   env.sh setup    STATE_DIR [64|32 [KEEPER]]  fresh prefix, X display, persistent
#                                          wineserver (and KEEPER, see below)
#   env.sh run      STATE_DIR NAME EXE ARG...  run one Windows program, print its output,
#                                          exit with its exit code
#   env.sh teardown STATE_DIR              stop what setup started
#
# Setup runs once per test run (a fresh prefix takes several seconds); every
# test program after it starts in a fraction of a second because the
# wineserver and Wine's helper processes stay up in between.
#
# 64 (the default) runs 64-bit programs with the system's Wine, in a win64
# prefix, on DISPLAY when one is set.  32 runs 32-bit programs with the 32-bit
# Wine that tools/setup-i386.sh prepared (emulated by qemu-i386 where the
# kernel cannot run 32-bit programs itself), in a win32 prefix served by the
# system's native 64-bit wineserver; it always starts an Xvfb of its own, so
# its windows never meet the 64-bit tier's and the two tiers may run side by
# side.
#
# KEEPER (desktop_keeper.exe of the same build) is a Windows program left
# running until teardown: it keeps Wine's desktop process up between programs,
# which would otherwise start again with every program (seconds, emulated),
# and a program that starts while the desktop is closing waits ten seconds.
#
# Wine's helper processes inherit the standard handles of the program that
# started them and keep them open for a long time after it exits.  A test
# runner reading our output through a pipe would wait for them, so every Wine
# process writes to files and this script prints the files afterwards.
#
# Environment: GLIMMORA_WINE (64-bit loader, see tools/wine-prefix.sh),
# GLIMMORA_WINE_TIMEOUT (seconds one program may run, default 120; the 32-bit
# tier allows four times as much, its code runs emulated).
set -u

REPO=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=../../tools/wine-prefix.sh
. "$REPO/tools/wine-prefix.sh"
RUN_TIMEOUT=${GLIMMORA_WINE_TIMEOUT:-120}
# Set by wine_env from the architecture setup recorded.
WINE_LOADER="" WINE_SERVER=""

usage() {
    echo "usage: $0 setup STATE_DIR [64|32 [KEEPER]] | teardown STATE_DIR | run STATE_DIR NAME EXE [ARG...]" >&2
    exit 2
}

# Exports the environment every Wine process of this run uses, for ARCH
# (64 or 32) and, for 32, the i386 folder I386_ROOT.
wine_env() {
    local state=$1 arch=$2 i386_root=${3:-}
    export WINEPREFIX="$state/prefix"
    export WINEDEBUG=-all
    # No Mono or Gecko: the tests need neither, and their installers would
    # otherwise ask about downloads.
    export WINEDLLOVERRIDES="mscoree=;mshtml="
    if [ "$arch" = 32 ]; then
        export WINEARCH=win32
        # Every 32-bit Linux program finds its libraries in the i386 folder.
        export QEMU_LD_PREFIX="$i386_root"
        # Should the server have to be started again, the native one.
        export WINESERVER=$WINE64_SERVER
        WINE_SERVER=$WINESERVER
        WINE_LOADER=$(wine32_loader "$i386_root")
    else
        export WINEARCH=win64
        unset QEMU_LD_PREFIX WINESERVER
        WINE_SERVER=$WINE64_SERVER
        WINE_LOADER=$WINE64_LOADER
    fi
}

# Reads what setup recorded in STATE/env.
load_state() {
    XVFB_PID="" WINE_DISPLAY="" WINE_ARCH=64 I386_ROOT=""
    # shellcheck disable=SC1091
    . "$1/env"
}

# Is PID a live process whose command name is NAME?  Guards against killing
# an unrelated process that reused a recorded pid.
is_our_process() {
    local pid=$1 name=$2
    [ -n "$pid" ] && [ -r "/proc/$pid/comm" ] && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = "$name" ]
}

stop_environment() {
    local state=$1
    [ -f "$state/env" ] || return 0
    load_state "$state"
    wine_env "$state" "$WINE_ARCH" "$I386_ROOT"
    if [ -d "$WINEPREFIX" ]; then
        "$WINE_SERVER" -k >/dev/null 2>&1 </dev/null
        "$WINE_SERVER" -w >/dev/null 2>&1 </dev/null
    fi
    if is_our_process "$XVFB_PID" Xvfb; then
        kill "$XVFB_PID" 2>/dev/null
        for _ in $(seq 50); do is_our_process "$XVFB_PID" Xvfb || break; sleep 0.1; done
    fi
    rm -f "$state/env"
}

# The persistent server outlives every program of the run; teardown stops it.
start_server() {
    local state=$1
    mkdir -p "$WINEPREFIX"
    if ! "$WINE_SERVER" -p </dev/null >"$state/logs/wineserver.log" 2>&1; then
        cat "$state/logs/wineserver.log" >&2
        return 1
    fi
}

# A new prefix, made by wineboot (several seconds; half a minute emulated).
make_prefix() {
    local state=$1 arch=$2 i386_root=$3
    start_server "$state" || return 1
    local log="$state/logs/setup.log"
    : >"$log"
    prepare_prefix "$WINE_LOADER" "$arch" "$i386_root" "$log" || { cat "$log" >&2; return 1; }
}

# Keeps this run's new prefix as the template, when the template's folder
# is writable; the server stops meanwhile so that the registry is on disk.
save_template() {
    local state=$1 template=$2
    [ -w "$(dirname "$template")" ] || return 0
    "$WINE_SERVER" -k >/dev/null 2>&1 </dev/null
    "$WINE_SERVER" -w >/dev/null 2>&1 </dev/null
    (
        flock 9
        if ! template_ok "$template"; then
            local new="$template.new.$$"
            copy_prefix "$WINEPREFIX" "$new" && template_stamp >"$new/.glimmora-template" &&
                rm -rf "$template" && mv "$new" "$template"
            rm -rf "$new"
        fi
    ) 9>"$template.lock"
    start_server "$state"
}

setup() {
    local state=$1 arch=${2:-64} keeper=${3:-} i386_root=""
    case "$arch" in 32 | 64) ;; *) usage ;; esac
    mkdir -p "$state"
    # A previous run that never reached its teardown (interrupted) leaves its
    # server and display behind; stop them first.
    stop_environment "$state"
    rm -rf "$state/prefix" "$state/logs"
    mkdir -p "$state/logs"
    if [ "$arch" = 32 ]; then
        if ! i386_root=$("$REPO/tools/setup-i386.sh" status); then
            echo "the 32-bit runner is not ready: $i386_root" >&2
            return 1
        fi
    fi
    wine_env "$state" "$arch" "$i386_root"

    local xvfb_pid="" display="${DISPLAY:-}"
    [ "$arch" = 32 ] && display=""
    if [ -z "$display" ]; then
        rm -f "$state/display"
        setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp \
            </dev/null >"$state/logs/xvfb.log" 2>&1 3>"$state/display" &
        xvfb_pid=$!
        # Until setsid has exec'd the server, the child still carries the
        # shell's name; a busy machine can take a while to get there, so
        # only a child that has gone away counts as a failed start.
        for _ in $(seq 300); do
            [ -s "$state/display" ] && break
            kill -0 "$xvfb_pid" 2>/dev/null || break
            sleep 0.1
        done
        if [ ! -s "$state/display" ]; then
            if kill -0 "$xvfb_pid" 2>/dev/null; then
                echo "Xvfb did not report a display within 30 s" >&2
            else
                echo "Xvfb exited before reporting a display:" >&2
            fi
            cat "$state/logs/xvfb.log" >&2
            return 1
        fi
        display=":$(tr -d '[:space:]' <"$state/display")"
    fi
    export DISPLAY="$display"
    printf 'XVFB_PID=%s\nWINE_DISPLAY=%s\nWINE_ARCH=%s\nI386_ROOT=%q\n' \
        "$xvfb_pid" "$display" "$arch" "$i386_root" >"$state/env"

    local template=""
    [ "$arch" = 32 ] && template=$(prefix_template)
    if [ -n "$template" ] && template_ok "$template"; then
        # A copy of a prefix that an earlier run made and kept; a plain
        # wineboot starts the services a session needs before the first test.
        copy_prefix "$template" "$WINEPREFIX" || return 1
        start_server "$state" || return 1
        "$WINE_LOADER" wineboot </dev/null >"$state/logs/setup.log" 2>&1 || { cat "$state/logs/setup.log" >&2; return 1; }
    else
        make_prefix "$state" "$arch" "$i386_root" || return 1
        [ -n "$template" ] && save_template "$state" "$template"
    fi
    if [ -n "$keeper" ]; then
        # Ends with the server at teardown.
        setsid "$WINE_LOADER" "$keeper" </dev/null >"$state/logs/keeper.log" 2>&1 &
    fi
    echo "$arch-bit Wine prefix $WINEPREFIX ready, DISPLAY=$DISPLAY"
}

# One line on the state of what Wine needs: whether this prefix's wineserver
# and the display are still there.  Wine itself says nothing when they fail
# under WINEDEBUG=-all, so a program that ends without a word gets this line.
wine_health() {
    local server="gone" display="gone" dir pid
    # The server works in a folder named after the prefix's device and inode.
    dir="/server-$(printf '%x-%x' "$(stat -c %d "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")"
    for pid in /proc/[0-9]*; do
        if [[ "$(readlink "$pid/cwd" 2>/dev/null)" == *"$dir" ]]; then
            server="running (pid ${pid#/proc/})"
            break
        fi
    done
    local n=${DISPLAY#*:}
    n=${n%%.*}
    if [ -S "/tmp/.X11-unix/X$n" ] && { [ -z "${XVFB_PID:-}" ] || kill -0 "$XVFB_PID" 2>/dev/null; }; then
        display="up"
    fi
    echo "wineserver $server, display $DISPLAY $display"
}

run_program() {
    local state=$1 name=$2 exe=$3
    shift 3
    if [ ! -f "$state/env" ]; then
        echo "no Wine environment in $state: run '$0 setup $state' first" >&2
        return 1
    fi
    load_state "$state"
    wine_env "$state" "$WINE_ARCH" "$I386_ROOT"
    export DISPLAY="$WINE_DISPLAY"
    [ "$WINE_ARCH" = 32 ] && RUN_TIMEOUT=$((RUN_TIMEOUT * 4))
    mkdir -p "$state/logs"
    local out="$state/logs/$name.out" err="$state/logs/$name.err"
    timeout -k 5 "$RUN_TIMEOUT" "$WINE_LOADER" "$exe" "$@" </dev/null >"$out" 2>"$err"
    local rc=$?
    cat "$out"
    if [ -s "$err" ]; then
        echo "--- stderr ---"
        cat "$err"
    fi
    if [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
        echo "$name: killed after ${RUN_TIMEOUT}s (hung)"
    elif [ "$rc" -ne 0 ] && [ ! -s "$out" ] && [ ! -s "$err" ]; then
        echo "$name: Wine ended $(basename "$exe") with exit code $rc and no output; $(wine_health)"
    fi
    return "$rc"
}

[ $# -ge 2 ] || usage
command=$1
state=$2
shift 2
# Wine wants an absolute prefix path.
case "$state" in /*) ;; *) state="$PWD/$state" ;; esac
case "$command" in
setup) setup "$state" "$@" ;;
run) [ $# -ge 2 ] || usage; run_program "$state" "$@" ;;
teardown) stop_environment "$state"; echo "Wine environment stopped" ;;
*) usage ;;
esac

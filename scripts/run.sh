#!/bin/bash
# Runs the saver on a fresh Debian 12 machine: installs what is missing,
# builds the x86_64 saver, the stand-in control and the helpers, prepares a
# private Wine prefix (build/run/prefix) with the control registered, writes
# the demo movie, points the settings at it when no movie is configured, and
# starts the saver full screen.
#
#   - On the user's X display when $DISPLAY answers: the saver runs until the
#     mouse or keyboard is touched.
#   - Otherwise on an Xvfb display of its own: a screenshot of the running
#     saver after a few seconds, then the saver's private close message, and
#     the path of the screenshot.
#
# Environment: RUN_SIZE=1920x1080 (own display; default 1024x768),
# RUN_SHOW_SECONDS (own display: time before the screenshot, default 4),
# RUN_MAX_MINUTES (user's display: close the saver after this long, default 60),
# JOBS (build jobs, default 2).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/xvfb.sh
root=$PWD

WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
run=$root/build/run
size=${RUN_SIZE:-1024x768}
show_secs=${RUN_SHOW_SECONDS:-4}
max_minutes=${RUN_MAX_MINUTES:-60}
jobs=${JOBS:-2}
case "$size" in 1024x768|1920x1080) ;; *) echo "run: RUN_SIZE must be 1024x768 or 1920x1080" >&2; exit 2 ;; esac

log() { echo "run: $*"; }
die() { echo "run: $*" >&2; exit 1; }
winpath() { echo "Z:$1" | tr / '\\'; }

# --- packages and builds ---------------------------------------------------
./scripts/setup.sh --packages
log "building the saver, the stand-in control and the helpers (win64)"
cmake --preset win64 >/dev/null
cmake --build build/win64 -j"$jobs" --target swfsaver swfstandin saverctl
log "building the movie writer (host)"
cmake --preset host >/dev/null
cmake --build build/host -j"$jobs" --target swfgen_cli

scr=$root/build/win64/src/app/swfsaver.scr
dll=$root/build/win64/standin/control/swfstandin.dll
ctl=$root/build/win64/tools/saverctl/saverctl.exe
gen=$root/build/host/tools/swfgen/swfgen
for f in "$scr" "$dll" "$ctl" "$gen"; do [ -f "$f" ] || die "missing build output $f"; done

# --- what this script starts, and its cleanup --------------------------------
export WINEPREFIX=$run/prefix
# No Mono or Gecko install prompts, no desktop menu entries.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEDEBUG=-all
xvfb_pid=
saver_pid=
cleanup() {
    if [ -n "$saver_pid" ] && kill -0 "$saver_pid" 2>/dev/null; then
        timeout 10 "$WINE" "$ctl" close >/dev/null 2>&1 || true
        timeout 10 tail --pid="$saver_pid" -f /dev/null || kill "$saver_pid" 2>/dev/null || true
    fi
    # The Wine server of our own prefix (it would keep the display in use),
    # and our own Xvfb.
    [ -d "$WINEPREFIX" ] && { timeout 20 "$WINESERVER" -k 2>/dev/null || true; }
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        timeout 5 tail --pid="$xvfb_pid" -f /dev/null || kill -9 "$xvfb_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT

# --- display ----------------------------------------------------------------
own_display=0
if [ -n "${DISPLAY:-}" ] && timeout 5 xdpyinfo >/dev/null 2>&1; then
    log "using your display $DISPLAY"
else
    own_display=1
    mkdir -p "$run"
    start_own_xvfb 61 69 "$size" "$run/xvfb.log" || die "no free X display number in :61-:69"
    xvfb_pid=$XVFB_PID
    export DISPLAY=$XVFB_DISPLAY
    log "no usable X display: started Xvfb $DISPLAY ($size)"
fi

# --- prefix, control registration, movie, settings ---------------------------
mkdir -p "$run"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    log "creating the Wine prefix $WINEPREFIX (takes a little while the first time)"
    timeout 240 "$WINE" wineboot -i >"$run/wineboot.log" 2>&1 || die "wineboot failed (see $run/wineboot.log)"
fi
# The prefix must be complete before a registration, or it can be lost.
timeout 60 "$WINESERVER" -w
timeout 60 "$WINE" regsvr32 /s "$(winpath "$dll")" || die "regsvr32 of the stand-in control failed"

movie=$run/demo.swf
"$gen" demo "$movie"
timeout 30 "$WINE" "$ctl" settings "$(winpath "$movie")" 1

# --- the saver ----------------------------------------------------------------
log "starting the saver"
"$WINE" "$scr" /s &
saver_pid=$!
timeout 60 "$WINE" "$ctl" wait 40 || die "the saver's window did not appear"

if [ $own_display = 0 ]; then
    log "the saver is running; move the mouse or press a key to end it"
    if ! timeout $((max_minutes * 60)) tail --pid="$saver_pid" -f /dev/null; then
        log "closing the saver after $max_minutes minutes"
        timeout 10 "$WINE" "$ctl" close || true
    fi
    rc=0
    timeout 30 tail --pid="$saver_pid" -f /dev/null || die "the saver did not end"
    wait "$saver_pid" || rc=$?
    saver_pid=
    [ $rc = 0 ] || die "the saver ended with exit code $rc"
    log "the saver ended"
    exit 0
fi

sleep "$show_secs"
shot=$run/screenshot.png
timeout 30 import -display "$DISPLAY" -window root "$shot" || die "screenshot failed"
kill -0 "$saver_pid" 2>/dev/null || die "the saver ended before the screenshot"
timeout 10 "$WINE" "$ctl" close || die "could not send the close message"
timeout 30 tail --pid="$saver_pid" -f /dev/null || die "the saver did not end after the close message"
rc=0
wait "$saver_pid" || rc=$?
saver_pid=
[ $rc = 0 ] || die "the saver ended with exit code $rc"
log "the saver closed on its private close message (exit code 0)"
peak=$(convert "$shot" -format '%[fx:int(255*maxima)]' info: 2>/dev/null || echo "?")
[ "$peak" = 0 ] && log "warning: the screenshot is all black"
log "screenshot: $shot"

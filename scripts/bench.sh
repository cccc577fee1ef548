#!/bin/bash
# The benchmark: start-up, closing, cost while playing, sizes and renderer
# speed, each as min / median / max over repeated runs and as a ratio to a
# baseline measured in the same run, on one Wine prefix and one Xvfb display
# of its own (1920x1080). Prints a table and writes it to build/bench/results.md;
# its prefix, movies, logs, samples and optimised host build live in
# build/bench-run (build/bench may also be an optimised build tree of its own).
# Not part of the tests; it takes a few minutes and loads the machine.
#
# Environment: BENCH_RUNS (repetitions, default 5), BENCH_PLAY_SECONDS
# (length of each playing measurement, default 10), JOBS (build jobs, default 2).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/xvfb.sh
root=$PWD

WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
runs=${BENCH_RUNS:-5}
play_secs=${BENCH_PLAY_SECONDS:-10}
jobs=${JOBS:-2}
out=$root/build/bench-run
results=$root/build/bench/results.md
fps=30

log() { echo "bench: $*" >&2; }
die() { echo "bench: $*" >&2; exit 1; }
winpath() { echo "Z:$1" | tr / '\\'; }

# --- builds ---------------------------------------------------------------------
./scripts/setup.sh --packages
log "building (win64, win32, optimised host renderer)"
cmake --preset win64 >/dev/null
cmake --build build/win64 -j"$jobs" --target swfsaver swfstandin saverctl benchdrv bench_baseline
cmake --preset win32 >/dev/null
cmake --build build/win32 -j"$jobs" --target swfsaver swfstandin bench_baseline
# The host preset is a sanitizer build: the renderer is timed in a Release one.
cmake -S . -B "$out/host" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$out/host" -j"$jobs" --target swfgen_cli bench_render

scr=$root/build/win64/src/app/swfsaver.scr
dll=$root/build/win64/standin/control/swfstandin.dll
ctl=$root/build/win64/tools/saverctl/saverctl.exe
drv=$root/build/win64/tools/bench/benchdrv.exe
base=$root/build/win64/tools/bench/bench_baseline.exe
gen=$out/host/tools/swfgen/swfgen
render=$out/host/tools/swfgen/bench_render

# --- display and prefix, stopped on exit ------------------------------------------
export WINEPREFIX=$out/prefix
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEDEBUG=-all
xvfb_pid=
cleanup() {
    [ -d "$WINEPREFIX" ] && { timeout 20 "$WINESERVER" -k 2>/dev/null || true; }
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        timeout 5 tail --pid="$xvfb_pid" -f /dev/null || kill -9 "$xvfb_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT

mkdir -p "$out"
start_own_xvfb 61 69 1920x1080 "$out/xvfb.log" || die "no free X display number in :61-:69"
xvfb_pid=$XVFB_PID
export DISPLAY=$XVFB_DISPLAY

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    log "creating the Wine prefix $WINEPREFIX"
    timeout 240 "$WINE" wineboot -i >"$out/wineboot.log" 2>&1 || die "wineboot failed (see $out/wineboot.log)"
fi
timeout 60 "$WINESERVER" -w
timeout 60 "$WINE" regsvr32 /s "$(winpath "$dll")" || die "regsvr32 of the stand-in control failed"

"$gen" demo "$out/demo.swf"
"$gen" blank --width 800 --height 450 --fps $fps --frames 150 "$out/empty.swf"
use_movie() { timeout 30 "$WINE" "$ctl" set "$(winpath "$1")" 1 >/dev/null; }

# --- measurements ------------------------------------------------------------------
samples=$out/samples.txt
info=$out/info.txt
: >"$samples"
{
    echo "date $(date -u '+%Y-%m-%d %H:%M UTC')"
    echo "commit $(git rev-parse --short HEAD 2>/dev/null || echo unknown)$(git diff --quiet HEAD -- 2>/dev/null || echo ' (with uncommitted changes)')"
    echo "wine $("$WINE" --version 2>/dev/null || echo unknown), x86_64 build"
    echo "display Xvfb $DISPLAY 1920x1080, no window manager"
    echo "runs $runs"
    echo "play_seconds $play_secs per playing run"
} >"$info"

calllog=$out/calls.log
wlog=$(winpath "$calllog")
# drv <timeout> <label> args...: one benchdrv command, its samples labelled.
drv() {
    local secs=$1 label=$2
    shift 2
    timeout -k 10 "$secs" "$WINE" "$drv" "$@" | sed "s/^/$label./" >>"$samples"
}

use_movie "$out/demo.swf"
log "start-up ($runs runs each)"
drv 300 baseline baseline "$runs" "$(winpath "$base")"
# Wine's own complaints while the saver starts and closes say where time goes.
WINEDEBUG=-all,fixme+event drv 600 saver startup "$runs" "$wlog" "$(winpath "$scr")" /s 2>"$out/startup.stderr"
withdrawn=$(grep -c wait_for_withdrawn_state "$out/startup.stderr" || true)
if [ "$withdrawn" -gt 0 ]; then
    echo "note start-up: over the $runs start-up runs (each saver closed again by its message) Wine waited $withdrawn times for a window manager to withdraw a window (wait_for_withdrawn_state timed out after 2 s; Xvfb has none)" >>"$info"
fi

log "closing ($runs runs each, mouse and key)"
drv 600 baseline close "$runs" mouse - "$(winpath "$base")" /wait
drv 600 baseline close "$runs" key - "$(winpath "$base")" /wait
WINEDEBUG=-all,fixme+event drv 900 saver close "$runs" mouse "$wlog" "$(winpath "$scr")" /s 2>"$out/close.stderr"
WINEDEBUG=-all,fixme+event drv 900 saver close "$runs" key "$wlog" "$(winpath "$scr")" /s 2>>"$out/close.stderr"
withdrawn=$(grep -c wait_for_withdrawn_state "$out/close.stderr" || true)
if [ "$withdrawn" -gt 0 ]; then
    echo "note closing: in $((2 * runs)) saver runs closed by input Wine waited $withdrawn times for a window manager to withdraw a window (wait_for_withdrawn_state timed out after 2 s; Xvfb has none); those waits are part of the figures" >>"$info"
fi

log "playing ($runs runs of ${play_secs}s each: demo, empty movie, baseline window)"
for _ in $(seq 1 "$runs"); do
    use_movie "$out/demo.swf"
    drv $((play_secs + 120)) demo play "$play_secs" $fps "$wlog" "$(winpath "$scr")" /s
    use_movie "$out/empty.swf"
    drv $((play_secs + 120)) empty play "$play_secs" $fps "$wlog" "$(winpath "$scr")" /s
    drv $((play_secs + 120)) baseline play "$play_secs" $fps - "$(winpath "$base")" /wait
done
echo "note playing: CPU time is the saver's Linux process (user + system, all threads); the Wine server and the X server are not counted" >>"$info"
echo "note calls: an idle pass is counted by its read of TotalFrames; calls are counted from the first Play to the teardown" >>"$info"

log "sizes"
size() { echo "size.$1 $(stat -c %s "$2")" >>"$samples"; }
size scr_x86_64 "$scr"
size dll_x86_64 "$dll"
size baseline_x86_64 "$base"
size scr_i686 "$root/build/win32/src/app/swfsaver.scr"
size dll_i686 "$root/build/win32/standin/control/swfstandin.dll"
size baseline_i686 "$root/build/win32/tools/bench/bench_baseline.exe"

log "renderer at 1920x1080 ($runs runs)"
for _ in $(seq 1 "$runs"); do
    timeout 600 "$render" 1920 1080 | awk '
        $1 == "demo"  { print "render.demo_ms", $3 }
        $1 == "heavy" { print "render.heavy_ms", $3 }' >>"$samples"
done

mkdir -p "$(dirname "$results")"
python3 tools/bench/report.py "$samples" "$info" >"$results"
cat "$results"
log "written to $results"

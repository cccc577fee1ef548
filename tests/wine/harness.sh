#!/bin/bash
# Wine test harness: a private prefix and an Xvfb display of our own, made once
# per test run, and a bounded runner for the Windows-side test programs.
#
#   harness.sh setup   <state-dir> [dll-to-register ...]
#   harness.sh run     <state-dir> [--cp932] [--timeout SECONDS] -- <program.exe> [args...]
#   harness.sh cleanup <state-dir>
#
# The state dir holds the prefix (prefix/), the display number (display), the
# Xvfb pid (xvfb.pid) and per-run logs. Cleanup stops only what setup started.
set -u
WINE=/usr/lib/wine/wine64
. "$(dirname "$0")/../../scripts/lib/xvfb.sh"
cmd=${1:-}; state=${2:-}
[ -n "$cmd" ] && [ -n "$state" ] || { echo "usage: $0 setup|run|cleanup <state-dir> ..." >&2; exit 2; }
shift 2
export WINEPREFIX="$state/prefix"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEDEBUG=-all

die() { echo "harness: $*" >&2; exit 1; }

start_xvfb() {
    start_own_xvfb 71 199 1024x768 "$state/xvfb.log" || die "Xvfb did not start on a free display"
    echo "$XVFB_PID" >"$state/xvfb.pid"
    echo "${XVFB_DISPLAY#:}" >"$state/display"
}

stop_all() {
    if [ -d "$WINEPREFIX" ]; then timeout 20 "$(dirname "$WINE")/wineserver" -k 2>/dev/null; fi
    if [ -f "$state/xvfb.pid" ]; then
        local pid; pid=$(cat "$state/xvfb.pid")
        kill "$pid" 2>/dev/null
        for _ in $(seq 1 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$pid" 2>/dev/null
        rm -f "$state/xvfb.pid"
    fi
}

case "$cmd" in
setup)
    mkdir -p "$state"
    stop_all
    rm -rf "$WINEPREFIX" "$state/work"
    mkdir -p "$state/work"
    start_xvfb
    # Wine needs a Japanese glibc locale to make Japanese file names under
    # code page 932; generate it privately (no system-wide locale change).
    mkdir -p "$state/locale"
    localedef -i ja_JP -f UTF-8 "$state/locale/ja_JP.UTF-8" >/dev/null 2>&1 || true
    export DISPLAY=":$(cat "$state/display")"
    timeout 180 "$WINE" wineboot -i >"$state/wineboot.log" 2>&1 || die "wineboot failed (see $state/wineboot.log)"
    timeout 60 "$(dirname "$WINE")/wineserver" -w
    # Japanese Gothic font for the dialog under code page 932: the dialog asks
    # for "ＭＳ Ｐゴシック"; map it to the installed IPA Gothic.
    ipa=$(fc-match -f '%{file}' 'IPAPGothic' 2>/dev/null)
    if [ -n "$ipa" ] && [ -f "$ipa" ]; then
        cp "$ipa" "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
        printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\n"\xef\xbc\xad\xef\xbc\xb3 \xef\xbc\xb0\xe3\x82\xb4\xe3\x82\xb7\xe3\x83\x83\xe3\x82\xaf"="IPAPGothic"\n"MS PGothic"="IPAPGothic"\n"MS UI Gothic"="IPAPGothic"\n' \
            | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$state/fonts.reg"
        timeout 60 "$WINE" regedit /S "$(echo "Z:$state/fonts.reg" | tr / '\\')" >>"$state/wineboot.log" 2>&1
    fi
    for dll in "$@"; do
        [ -f "$dll" ] || die "no such DLL: $dll"
        timeout 60 "$WINE" regsvr32 /s "Z:$(echo "$dll" | tr / '\\')" >>"$state/wineboot.log" 2>&1 \
            || die "regsvr32 $dll failed"
    done
    timeout 60 "$(dirname "$WINE")/wineserver" -w
    echo "harness: prefix $WINEPREFIX ready, display :$(cat "$state/display")"
    ;;
run)
    cp932=0; secs=300
    while [ $# -gt 0 ]; do
        case "$1" in
        --cp932) cp932=1; shift ;;
        --timeout) secs=$2; shift 2 ;;
        --) shift; break ;;
        *) break ;;
        esac
    done
    [ -f "$state/display" ] || die "setup has not run"
    [ -d "$WINEPREFIX" ] || die "no prefix; setup has not run"
    export DISPLAY=":$(cat "$state/display")"
    if [ $cp932 = 1 ]; then export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 LOCPATH="$state/locale"; else export LANG=C.UTF-8 LC_ALL=C.UTF-8; fi
    prog=$1; shift
    name=$(basename "$prog" .exe)
    work="$state/work/$name"
    rm -rf "$work"; mkdir -p "$work"
    export SWFSAVER_WORK="$work"
    export SWFSAVER_STDERR_LOG="$work/stderr.log"
    # Only the password routine's trace: the tests read the arguments it prints.
    export WINEDEBUG=-all,fixme+mpr
    : >"$SWFSAVER_STDERR_LOG"
    # stderr goes to the console and to the log the test reads back.
    timeout -k 10 "$secs" "$WINE" "$prog" "$@" 2> >(tee -a "$SWFSAVER_STDERR_LOG" >&2)
    rc=$?
    # A test that timed out or failed may leave children behind: end every
    # process of this prefix (it is ours alone), then wait for the server.
    if [ $rc -ne 0 ]; then
        timeout 20 "$(dirname "$WINE")/wineserver" -k 2>/dev/null
        [ $rc = 124 ] && echo "harness: $name timed out after ${secs}s" >&2
    fi
    exit $rc
    ;;
cleanup)
    stop_all
    echo "harness: stopped"
    ;;
*)
    die "unknown command $cmd"
    ;;
esac

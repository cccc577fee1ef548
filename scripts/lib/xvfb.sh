# Sourced by the scripts that need an X display of their own.
#
# start_own_xvfb FIRST LAST SIZE LOG
#   Starts Xvfb (SIZE like 1024x768, 24-bit) on the first display number in
#   FIRST..LAST that nobody uses, waiting at most 5 s for its socket. Sets
#   XVFB_PID and XVFB_DISPLAY (":N") and returns 0; returns 1 when none started.
start_own_xvfb() {
    local first=$1 last=$2 size=$3 log=$4 n pid
    for n in $(seq "$first" "$last"); do
        if [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; then continue; fi
        Xvfb ":$n" -screen 0 "${size}x24" -nolisten tcp -ac >"$log" 2>&1 &
        pid=$!
        for _ in $(seq 1 50); do
            [ -e "/tmp/.X11-unix/X$n" ] && break
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        if [ -e "/tmp/.X11-unix/X$n" ] && kill -0 "$pid" 2>/dev/null; then
            XVFB_PID=$pid
            XVFB_DISPLAY=":$n"
            return 0
        fi
        kill "$pid" 2>/dev/null || true
    done
    return 1
}

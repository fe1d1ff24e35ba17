# Sourced by scripts that need a screen: starts a virtual X server when there is no display.

# Starts Xvfb on a free display number and exports DISPLAY; stop_xvfb ends it.
start_xvfb() {
    local size=${1:-1280x1024}
    local number=$(( 50 + $$ % 200 ))
    while [ -e "/tmp/.X${number}-lock" ] || [ -e "/tmp/.X11-unix/X${number}" ]; do
        number=$(( number + 1 ))
    done
    # A long auto-repeat delay: a key held by a script must not repeat.
    Xvfb ":${number}" -screen 0 "${size}x24" -nolisten tcp -ardelay 100000 >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":${number}"
    local tries=0
    until xdpyinfo >/dev/null 2>&1; do
        tries=$(( tries + 1 ))
        if [ $tries -gt 100 ]; then echo "Xvfb did not start" >&2; return 1; fi
        sleep 0.05
    done
}

stop_xvfb() {
    if [ -n "${xvfb_pid:-}" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
}

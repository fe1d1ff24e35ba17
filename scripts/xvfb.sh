# Sourced by scripts that need a screen: a virtual X server, and captures of a window on it.

# Starts Xvfb at the screen size "$1" and exports DISPLAY; stop_xvfb ends it. Xvfb picks a free
# display number itself and writes it to the pipe (-displayfd) once it accepts connections. A
# long auto-repeat delay: a key held by a script must not repeat.
start_xvfb() {
    local size=${1:-1280x1024} number
    coproc xvfb {
        exec Xvfb -displayfd 1 -screen 0 "${size}x24" -nolisten tcp -ardelay 100000 2>/dev/null
    }
    xvfb_pid=$xvfb_PID
    if ! read -r -t 30 number <&"${xvfb[0]}"; then
        echo "Xvfb did not start" >&2
        return 1
    fi
    export DISPLAY=":$number"
}

stop_xvfb() {
    if [ -n "${xvfb_pid:-}" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
}

# Captures the window "$1" into the PPM file "$2" once it shows a finished picture: more than one
# colour, the same in two captures in a row, and, when a third file is given, other than that
# earlier capture (the frame before the input that should change it). Gives up after about 60 s.
capture_frame() {
    local window=$1 file=$2 before=${3:-} last try
    last=$(mktemp)
    for ((try = 0; try < 300; try++)); do
        xwd -silent -id "$window" | convert xwd:- "ppm:$file"
        if cmp -s "$file" "$last" && [ "$(convert "$file" -format %k info:)" -gt 1 ] &&
            { [ -z "$before" ] || ! cmp -s "$file" "$before"; }; then
            rm -f "$last"
            return 0
        fi
        cp "$file" "$last"
        sleep 0.1
    done
    rm -f "$last"
    echo "the window showed no finished picture within 60 s" >&2
    return 1
}

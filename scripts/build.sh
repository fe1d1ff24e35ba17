# Sourced by the scripts that build: configures a build directory and builds targets in it.

# configure_and_build DIR [TARGET...] [-- CMAKE_ARGUMENT...]
# Configures DIR with Ninja and the CMake arguments, keeping what CMake says in DIR.configure.log
# (shown on standard error only if it fails), then builds the targets, or everything when none is
# named. KVRN_JOBS sets the number of parallel jobs (default: one per processor).
configure_and_build() {
    local dir=$1
    shift
    local targets=()
    while [ $# -gt 0 ] && [ "$1" != -- ]; do
        targets+=("$1")
        shift
    done
    [ $# -gt 0 ] && shift
    mkdir -p "$(dirname "$dir")"
    cmake -S . -B "$dir" -G Ninja "$@" >"$dir.configure.log" 2>&1 ||
        { cat "$dir.configure.log" >&2; return 1; }
    cmake --build "$dir" -j "${KVRN_JOBS:-$(nproc)}" ${targets[@]+--target "${targets[@]}"}
}

# Sourced by the set-up scripts: makes sure the Debian packages named in "$@" are installed.
# As root it installs the missing ones; otherwise it prints the apt-get line to run and fails.
ensure_packages() {
    local missing=()
    local package
    for package in "$@"; do
        if ! dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null | grep -qx installed; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing Debian packages. Install them with:" >&2
        echo "  sudo apt-get install -y ${missing[*]}" >&2
        return 1
    fi
    echo "Installing ${missing[*]}" >&2
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq >&2 && apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
}

# What building the programs needs, with a font for the text of the lab's plots.
build_packages=(cmake ninja-build g++ pkg-config freeglut3-dev libglu1-mesa-dev libgl-dev
                libpng-dev libjpeg62-turbo-dev libzstd-dev libcairo2-dev fonts-dejavu-core)
# What the viewer needs to show a window on this machine's display (or a virtual one).
view_packages=(libgl1-mesa-dri xvfb)
# What the test suite needs on top: the unit-test framework, clang with its sanitizer runtime,
# a virtual X server with input and screenshot tools for the window tests, and the command-line
# JPEG and zstd tools the lab's yardsticks are checked against.
test_packages=(clang libclang-rt-14-dev libgtest-dev libgmock-dev libgl1-mesa-dri xvfb xauth
               xdotool x11-utils x11-apps imagemagick libjpeg-turbo-progs zstd)
# What scripts/make-samples needs on top of building: the photographs, ImageMagick to crop them
# and label the test chart, and the chart's font.
sample_packages=(mate-backgrounds imagemagick fonts-dejavu-core)
# What scripts/lab-reference.py needs: the independent computation of the distortion figures.
reference_packages=(python3-numpy python3-skimage)

# Sourced by the set-up scripts: makes sure the Debian packages named in "$@" are installed.
# As root it installs the missing ones; otherwise it prints the apt-get line to run and fails.
ensure_packages() {
    local missing=()
    local package native
    native=$(dpkg --print-architecture)
    for package in "$@"; do
        # A name without an architecture means this machine's (or none: "all"); with arm64 added,
        # dpkg lists libpng-dev once per architecture.
        if ! dpkg-query -W -f='${Architecture} ${db:Status-Status}\n' "$package" 2>/dev/null |
            grep -Eqx "($native|all|${package#*:}) installed"; then
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

# Makes dpkg install packages of the architecture "$1" (such as arm64) too, as root; otherwise
# prints the command to run and fails. The next ensure_packages fetches that architecture's lists.
ensure_architecture() {
    dpkg --print-foreign-architectures | grep -qx "$1" && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Debian does not install $1 packages here yet. Allow them with:" >&2
        echo "  sudo dpkg --add-architecture $1" >&2
        return 1
    fi
    dpkg --add-architecture "$1"
}

# Lets apt-get fetch Debian's source packages (deb-src) from the archive the machine installs
# from, as root; otherwise prints what to run and fails. The page's JPEG is libjpeg-turbo built
# for WebAssembly from the source of the very version the native tool links.
kvrn_source_list=/etc/apt/sources.list.d/kvrn-deb-src.sources
ensure_source_lists() {
    if grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        return 0
    fi
    local codename list
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    list="Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $codename $codename-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg"
    if [ "$(id -u)" -ne 0 ]; then
        echo "apt has no source packages (deb-src) to fetch. As root, write these lines" >&2
        echo "into $kvrn_source_list, then run apt-get update:" >&2
        echo "$list" >&2
        return 1
    fi
    echo "Adding Debian's source packages to apt ($kvrn_source_list)" >&2
    echo "$list" >"$kvrn_source_list"
    apt-get update -qq >&2
}

# What building the programs needs: the libraries, the manual pages' makers (help2man, scdoc),
# and a font for the text of the lab's plots.
build_packages=(cmake ninja-build g++ pkg-config freeglut3-dev libglu1-mesa-dev libgl-dev
                libpng-dev libjpeg62-turbo-dev libexif-dev libzstd-dev libcairo2-dev
                libwebp-dev libavif-dev libjxl-dev fonts-dejavu-core help2man scdoc)
# What the viewer needs to show a window on this machine's display (or a virtual one).
view_packages=(libgl1-mesa-dri xvfb)
# What the test suite needs on top: the unit-test framework, clang with its sanitizer runtime,
# a virtual X server with input and screenshot tools for the window tests, cjpeg/djpeg, zstd,
# cwebp/dwebp, avifenc/avifdec and cjxl/djxl to make files and to hold the decoder and the lab's
# yardsticks to, butteraugli_main to hold the lab's Butteraugli to, Debian's photographs to
# measure them on, and man to render the installed manual pages.
test_packages=(clang libclang-rt-14-dev libgtest-dev libgmock-dev libgl1-mesa-dri xvfb xauth
               xdotool x11-utils x11-apps imagemagick libjpeg-turbo-progs zstd man-db
               webp libavif-bin libjxl-tools libjxl-devtools mate-backgrounds)
# What the arm64 cross-build of the codec, kvrn and their tests needs: Debian's cross compiler,
# qemu-user to run the programs, and the arm64 libraries through multiarch (ensure_architecture
# arm64 first), among them the C++ library the programs load under qemu.
cross_packages=(g++-aarch64-linux-gnu qemu-user libstdc++6:arm64 libpng-dev:arm64
                libjpeg62-turbo-dev:arm64 libexif-dev:arm64 libgtest-dev:arm64)
# What scripts/make-samples needs on top of building: the photographs, ImageMagick to crop them
# and label the test chart, and the chart's font.
sample_packages=(mate-backgrounds imagemagick fonts-dejavu-core)
# What scripts/make-jpeg-seeds needs: cjpeg, ImageMagick for a CMYK file and exiftool to tag one
# with an orientation.
seed_packages=(libjpeg-turbo-progs imagemagick libimage-exiftool-perl)
# What scripts/lab-reference.py needs: the independent computation of the distortion figures.
reference_packages=(python3-numpy python3-skimage)
# What scripts/deb needs on top of building: cpack's dependency finder (dpkg-shlibdeps) and
# lintian to check the package.
deb_packages=(dpkg-dev lintian fakeroot)
# What the Python package (python/) needs to build, with pip from Debian's Python, and what its
# tests and examples use: the build backend, pybind11 with its CMake package, numpy, pytest, Pillow,
# scikit-image, matplotlib and pandas (kvrn.sweep's frames, kvrn-study's plots), SciPy (kvrn-study's
# BD-rate by PCHIP) and Dask distributed (kvrn-study's engine).
python_packages=(python3-dev python3-venv python3-setuptools python3-wheel python3-pybind11
                 pybind11-dev python3-numpy python3-pytest python3-pil python3-skimage
                 python3-matplotlib python3-pandas python3-scipy python3-distributed)
# What scripts/web needs to build the lab page (the codec compiled to WebAssembly) and the test
# suite to hold it to kvrn in a real browser: emscripten, headless Chromium with its WebDriver,
# Selenium for Debian's Python, and its picture library to read what kvrn writes; and what
# scripts/wasm-test needs to run the codec's tests compiled to WebAssembly: GoogleTest's sources
# and Node with its WASI; and dpkg-source, which unpacks libjpeg-turbo's Debian source for the
# page's JPEG (scripts/web-jpeg).
web_packages=(emscripten chromium chromium-driver python3-selenium python3-pil googletest nodejs
              dpkg-dev)

#!/bin/bash
# Installs a build into a scratch prefix and builds the README's example program against what
# lands there, as another program's author would: with cc and pkg-config, with the README's
# CMake project (the shared library) and with kvrn::kvrn_static. Each build must decode the
# samples and a cut file to the bytes `kvrn decode` writes, with its exit status.
# Usage: library-test.sh SOURCE_DIR BUILD_DIR
set -u
source_dir=$1 build=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
status=0
fail() {
    echo "FAIL: $*"
    status=1
}

cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "FAIL: cmake --install"; exit 1; }
# The README's blocks that follow "<!-- library example: NAME -->", written out as NAME.
mkdir -p "$work/example"
awk -v out="$work/example" '
    /^<!-- library example: / { name = $4; next }
    name != "" && /^```/ { if (open) { open = 0; name = "" } else { open = 1 }; next }
    open { print > (out "/" name) }' "$source_dir/README.md"
[ -s "$work/example/kvrn2ppm.c" ] && [ -s "$work/example/CMakeLists.txt" ] ||
    { echo "FAIL: the README's example program or CMake project is missing"; exit 1; }

libdir=$(dirname "$(find "$prefix" -name kvrn.pc)")/..
export PKG_CONFIG_PATH=$libdir/pkgconfig
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra "$work/example/kvrn2ppm.c" $(pkg-config --cflags --libs kvrn) \
    -Wl,-rpath,"$libdir" -o "$work/pkg-config" || fail "cc with pkg-config"
cmake -S "$work/example" -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null &&
    cmake --build "$work/cmake" >/dev/null && cp "$work/cmake/kvrn2ppm" "$work/cmake-shared" ||
    fail "the README's CMake project"
sed 's/kvrn::kvrn)/kvrn::kvrn_static)/' "$work/example/CMakeLists.txt" >"$work/CMakeLists.txt"
cp "$work/example/kvrn2ppm.c" "$work/"
mkdir -p "$work/static-project" && mv "$work/CMakeLists.txt" "$work/kvrn2ppm.c" "$work/static-project/"
cmake -S "$work/static-project" -B "$work/cmake-static-build" -G Ninja \
    -DCMAKE_PREFIX_PATH="$prefix" >/dev/null && cmake --build "$work/cmake-static-build" >/dev/null &&
    cp "$work/cmake-static-build/kvrn2ppm" "$work/cmake-static" || fail "kvrn::kvrn_static"
if readelf -d "$work/cmake-static" 2>/dev/null | grep -q libkvrn; then
    fail "kvrn::kvrn_static linked the shared library"
fi

kvrn=$prefix/bin/kvrn
head -c 500 "$source_dir/samples/default.kvrn" >"$work/cut.kvrn"
for program in pkg-config cmake-shared cmake-static; do
    [ -x "$work/$program" ] || continue
    for file in "$source_dir"/samples/*.kvrn "$work/cut.kvrn"; do
        "$kvrn" decode -q "$file" "$work/expected.ppm"
        expected_status=$?
        "$work/$program" "$file" >"$work/got.ppm" 2>/dev/null
        got_status=$?
        cmp -s "$work/expected.ppm" "$work/got.ppm" ||
            fail "$program $(basename "$file"): other bytes than kvrn decode"
        [ $got_status = $expected_status ] ||
            fail "$program $(basename "$file"): status $got_status, kvrn decode $expected_status"
    done
done
"$work/pkg-config" "$source_dir/README.md" >/dev/null 2>"$work/error"
grep -qx "$source_dir/README.md: not a KVRN file" "$work/error" ||
    fail "a file that is no KVRN file: '$(cat "$work/error")'"
exit $status

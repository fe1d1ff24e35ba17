#!/bin/bash
# The Debian package used as its users would: unpacked with dpkg -x into a scratch root, its kvrn
# runs there (and starts its kvrn-lab), it holds every file `cmake --install` puts in place, and
# it names the system's picture libraries as dependencies, which its programs load as shared
# libraries rather than carry copies of.
# Usage: deb-test.sh PACKAGE.deb SOURCE_DIR
set -u
package=$1 source_dir=$2
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
status=0
fail() {
    echo "FAIL: $*"
    status=1
}

dpkg -x "$package" "$root" || { echo "FAIL: dpkg -x $package"; exit 1; }
kvrn=$root/usr/bin/kvrn
version=$("$kvrn" --version) || fail "the packaged kvrn --version fails"
[ "$version" = "kvrn $(dpkg-deb -f "$package" Version)" ] ||
    fail "the packaged kvrn says '$version', the package $(dpkg-deb -f "$package" Version)"
"$kvrn" decode "$source_dir/samples/default.kvrn" "$root/default.ppm" || fail "packaged decode"
"$kvrn" diff "$root/default.ppm" "$root/default.ppm" >/dev/null || fail "packaged kvrn-lab"

for file in usr/bin/kvrn usr/bin/kvrn-view usr/libexec/kvrn/kvrn-lab usr/include/kvrn.h \
    usr/include/kvrn_version.h usr/share/man/man1/kvrn.1.gz usr/share/man/man1/kvrn-view.1.gz \
    usr/share/bash-completion/completions/kvrn usr/share/doc/kvrn/copyright; do
    [ -e "$root/$file" ] || fail "the package lacks /$file"
done
for pattern in 'libkvrn.so.0' 'libkvrn.a' 'pkgconfig/kvrn.pc' 'cmake/kvrn/kvrn-config.cmake'; do
    find "$root/usr/lib" -path "*$pattern" | grep -q . || fail "the package lacks $pattern"
done
depends=$(dpkg-deb -f "$package" Depends)
for library in libpng16-16 libjpeg62-turbo libexif12; do
    [[ $depends == *"$library "* ]] || fail "the package does not depend on $library: $depends"
done
# The lab loads libjxl when Butteraugli is asked for: named by the package, not found by
# dpkg-shlibdeps.
[[ $depends =~ (^|, )libjxl[0-9.]+(,|$) ]] || fail "the package does not depend on libjxl: $depends"
needed=$(readelf -d "$kvrn" | grep NEEDED)
for library in libpng16 libjpeg libexif; do
    [[ $needed == *"$library"* ]] || fail "the packaged kvrn does not load $library"
done
exit $status

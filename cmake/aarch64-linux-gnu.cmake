# Cross-builds for 64-bit ARM with Debian's cross compiler (g++-aarch64-linux-gnu) and the arm64
# libraries installed through multiarch (libpng-dev:arm64, libgtest-dev:arm64), which live in
# /usr/lib/aarch64-linux-gnu beside the machine's own. The programs and the tests run under
# qemu-user, which finds the arm64 loader and C library (libc6:arm64) in their multiarch places.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
# Not with -L /usr/aarch64-linux-gnu (the cross compiler's own C library): under qemu 7.2 a
# program loaded from there hangs in the child of fork(), and the tests fork.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)
# Programs (pkg-config, the build tools) are the machine's own; libraries and headers are found
# through the multiarch directory above, so the search is not confined to a root.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
# pkg-config is the machine's own, so point it at the arm64 .pc files alone; otherwise it names
# the x86-64 libraries (libexif, say) and the link fails.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)

# `cpack -G DEB` in a build directory makes a Debian package of everything `cmake --install`
# puts in place (scripts/deb configures such a build and checks the package with lintian).
# Its dependencies come from dpkg-shlibdeps, so the system's libpng, libjpeg and libexif are
# named as the shared libraries the programs load; a statically linked copy would keep their
# security fixes from reaching kvrn, so packaging builds have KVRN_STATIC_TOOL off.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kvrn)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The KVRN developers <kvrn@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer, tools and library for KVRN pictures")
set(CPACK_PACKAGE_DESCRIPTION
    "KVRN is a teaching picture format: 8x8 blocks of quantised DCT
coefficients. kvrn-view shows a KVRN file through a live re-encoding
preview whose quantisation step the mouse wheel sets; kvrn makes,
inspects and exports KVRN files and measures what quantisation costs;
libkvrn is the codec as a C library, with pkg-config and CMake files.")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The lab loads libjxl only when Butteraugli is asked for (lab/butteraugli.cpp), so no program
# names it for dpkg-shlibdeps to find: the package depends on it by name, Debian's package of that
# soname (libjxl0.7 for libjxl.so.0.7); dpkg-shlibdeps' list is added to this one.
if(KVRN_LAB AND KVRN_JXL_SOVERSION)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libjxl${KVRN_JXL_SOVERSION}")
endif()
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# The shared library's cache is brought up to date by dpkg's ldconfig trigger.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/triggers)
set(CPACK_STRIP_FILES ON)
set(CPACK_SET_DESTDIR OFF)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

# Debian wants the copyright and, compressed, the changelog of this native package in its doc
# folder.
set(kvrn_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/kvrn)
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/changelog.in
               ${PROJECT_BINARY_DIR}/debian/changelog @ONLY)
add_custom_command(
  OUTPUT ${PROJECT_BINARY_DIR}/debian/changelog.gz
  COMMAND gzip -9nkf ${PROJECT_BINARY_DIR}/debian/changelog
  DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog)
add_custom_target(kvrn_debian_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog.gz)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/copyright
              ${PROJECT_BINARY_DIR}/debian/changelog.gz
        DESTINATION ${kvrn_doc_dir})
include(CPack)

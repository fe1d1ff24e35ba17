# What `cmake --install BUILD --prefix P` puts in place: the two programs in bin/ (and kvrn-lab,
# which kvrn runs for the lab's commands, in libexec/kvrn/), their manual
# pages in share/man/man1/ and kvrn's bash completion in share/bash-completion/completions/.
#
# The manual pages are made at build time from one source each, never kept as roff: kvrn(1) by
# help2man from `kvrn --help` and every `kvrn COMMAND --help`, with its CONCEPTS section from
# docs/man/kvrn-concepts.h2m; kvrn-view(1), a program without options, by scdoc from
# docs/man/kvrn-view.1.scd. Without the tool the page is left out.
include(GNUInstallDirs)

install(TARGETS kvrn RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(KVRN_LAB)
  install(TARGETS kvrn-lab RUNTIME DESTINATION ${KVRN_LAB_INSTALL_DIR})
endif()
if(KVRN_VIEWER)
  install(TARGETS kvrn-view RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/cli/kvrn-completion.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME kvrn)

set(kvrn_man_dir ${PROJECT_BINARY_DIR}/man)
set(kvrn_man_pages)
find_program(KVRN_HELP2MAN help2man)
find_program(KVRN_SCDOC scdoc)
# help2man runs the tool, which a cross build cannot do here.
if(KVRN_HELP2MAN AND NOT CMAKE_CROSSCOMPILING)
  set(commands_script ${PROJECT_SOURCE_DIR}/docs/man/kvrn-commands.sh)
  add_custom_command(
    OUTPUT ${kvrn_man_dir}/kvrn.1
    COMMAND sh ${commands_script} $<TARGET_FILE:kvrn> > ${kvrn_man_dir}/kvrn.h2m
    COMMAND ${KVRN_HELP2MAN} --no-info --name "inspect, decode, encode and preview KVRN pictures"
            --include ${kvrn_man_dir}/kvrn.h2m --output ${kvrn_man_dir}/kvrn.1 $<TARGET_FILE:kvrn>
    DEPENDS kvrn $<$<BOOL:${KVRN_LAB}>:kvrn-lab> ${commands_script}
            ${PROJECT_SOURCE_DIR}/docs/man/kvrn-concepts.h2m
    COMMENT "Making the manual page kvrn(1) with help2man")
  list(APPEND kvrn_man_pages ${kvrn_man_dir}/kvrn.1)
elseif(NOT CMAKE_CROSSCOMPILING)
  message(STATUS "help2man not found: no manual page kvrn(1)")
endif()
if(KVRN_VIEWER AND KVRN_SCDOC)
  set(view_source ${PROJECT_SOURCE_DIR}/docs/man/kvrn-view.1.scd)
  add_custom_command(
    OUTPUT ${kvrn_man_dir}/kvrn-view.1
    COMMAND ${KVRN_SCDOC} < ${view_source} > ${kvrn_man_dir}/kvrn-view.1
    DEPENDS ${view_source}
    COMMENT "Making the manual page kvrn-view(1) with scdoc")
  list(APPEND kvrn_man_pages ${kvrn_man_dir}/kvrn-view.1)
elseif(KVRN_VIEWER)
  message(STATUS "scdoc not found: no manual page kvrn-view(1)")
endif()
file(MAKE_DIRECTORY ${kvrn_man_dir})
# Debian installs manual pages compressed; man reads either.
option(KVRN_GZIP_MAN "Install the manual pages compressed with gzip -9n" OFF)
set(kvrn_installed_pages ${kvrn_man_pages})
if(KVRN_GZIP_MAN)
  set(kvrn_installed_pages)
  foreach(page IN LISTS kvrn_man_pages)
    add_custom_command(OUTPUT ${page}.gz COMMAND gzip -9nkf ${page} DEPENDS ${page})
    list(APPEND kvrn_installed_pages ${page}.gz)
  endforeach()
endif()
add_custom_target(kvrn_man_pages ALL DEPENDS ${kvrn_installed_pages})
install(FILES ${kvrn_installed_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The library for other programs: libkvrn.so.0 (the C interface alone) and libkvrn.a, the public
# header and the version header made from the project's version, a pkg-config file and a CMake
# package (find_package(kvrn) gives kvrn::kvrn, the shared library, and kvrn::kvrn_static).
# Both describe the install relative to where they land, so a tree installed with --prefix
# works wherever it is.
install(TARGETS kvrn_shared kvrn_codec EXPORT kvrn_targets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_COMPONENT Development
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/codec/include/kvrn.h ${kvrn_generated_include}/kvrn_version.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
set(kvrn_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/kvrn)
install(EXPORT kvrn_targets NAMESPACE kvrn:: FILE kvrn-targets.cmake DESTINATION ${kvrn_cmake_dir})
include(CMakePackageConfigHelpers)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/kvrn-config.cmake.in
                              ${PROJECT_BINARY_DIR}/kvrn-config.cmake
                              INSTALL_DESTINATION ${kvrn_cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kvrn-config-version.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/kvrn-config.cmake ${PROJECT_BINARY_DIR}/kvrn-config-version.cmake
        DESTINATION ${kvrn_cmake_dir})
# The way from the pkg-config folder up to the prefix: lib/pkgconfig, or deeper with a
# multiarch library folder.
file(RELATIVE_PATH kvrn_pc_to_prefix /root/${CMAKE_INSTALL_LIBDIR}/pkgconfig /root)
configure_file(${PROJECT_SOURCE_DIR}/cmake/kvrn.pc.in ${PROJECT_BINARY_DIR}/kvrn.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kvrn.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# What `cmake --install BUILD --prefix P` puts in place: the two programs in bin/ (and kvrn-lab,
# which kvrn runs for the lab's commands, in libexec/kvrn/), their manual
# pages in share/man/man1/ and kvrn's bash completion in share/bash-completion/completions/.
#
# The manual pages are made at build time from one source each, never kept as roff: kvrn(1) by
# help2man from `kvrn --help` and every `kvrn COMMAND --help`, kvrn-view(1), a program without
# options, by scdoc from docs/man/kvrn-view.1.scd. Without the tool the page is left out.
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
add_custom_target(kvrn_man_pages ALL DEPENDS ${kvrn_man_pages})
install(FILES ${kvrn_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The programs' installation, man pages and --version test, for every front
# end: after add_executable(telva-x ...), the one line
#   telva_program(telva-x "what it does")
# installs it to bin, writes its man page from telva-x --help at build time
# and adds its --version to the test release.versions.
#
# A man page is written at build time from one source: the program's --help,
# or a text file for a program without one. TELVA_VERSIONED_PROGRAMS lists the
# programs whose --version the tests check.
include(GNUInstallDirs)
# Pages install compressed, as Debian keeps them: gzip -9n, no name or time in
# the header, so that the same page gives the same bytes.
find_program(TELVA_GZIP gzip REQUIRED)
set(TELVA_MAN_DIR ${PROJECT_BINARY_DIR}/man)
set_property(GLOBAL PROPERTY TELVA_VERSIONED_PROGRAMS)

# telva_man_page(NAME SUMMARY [PROGRAM path] [TEXT file] [DEPENDS target...]):
# the page NAME.1 from PROGRAM --help or from TEXT (build/man/NAME.1, for
# man -l), installed to man1 as NAME.1.gz.
function(telva_man_page name summary)
  cmake_parse_arguments(PAGE "" "PROGRAM;TEXT" "DEPENDS" ${ARGN})
  set(page ${TELVA_MAN_DIR}/${name}.1)
  add_custom_command(OUTPUT ${page} ${page}.gz
    COMMAND ${CMAKE_COMMAND} -DNAME=${name} -DSUMMARY=${summary} -DVERSION=${PROJECT_VERSION}
            -DPROGRAM=${PAGE_PROGRAM} -DTEXT=${PAGE_TEXT} -DOUTPUT=${page}
            -P ${PROJECT_SOURCE_DIR}/cmake/man_page.cmake
    COMMAND ${TELVA_GZIP} -9nkf ${page}
    DEPENDS ${PROJECT_SOURCE_DIR}/cmake/man_page.cmake ${PAGE_TEXT} ${PAGE_DEPENDS}
    COMMENT "Writing the man page ${name}.1" VERBATIM)
  add_custom_target(telva_man_${name} ALL DEPENDS ${page} ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

# telva_program(TARGET SUMMARY): a program with --help and --version,
# installed to bin with its man page, its --version among those tested.
function(telva_program target summary)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  telva_man_page(${target} ${summary} PROGRAM $<TARGET_FILE:${target}> DEPENDS ${target})
  set_property(GLOBAL APPEND PROPERTY TELVA_VERSIONED_PROGRAMS $<TARGET_FILE:${target}>)
endfunction()

# The test of every telva_program's --version (called once, deferred to the
# end of the top folder).
function(telva_versions_test)
  if(NOT TELVA_TESTS)
    return()
  endif()
  get_property(versioned GLOBAL PROPERTY TELVA_VERSIONED_PROGRAMS)
  add_test(NAME release.versions
           COMMAND ${PROJECT_SOURCE_DIR}/tests/install/versions_test.sh ${PROJECT_VERSION}
                   ${versioned})
  set_tests_properties(release.versions PROPERTIES TIMEOUT 60)
endfunction()

# Installation: the programs with their man pages, the core library with its
# headers and CMake package (find_package(telva), telva::core), the Python
# package; the Debian package of all of them (make package); and their tests.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# ---- the programs and their man pages (telva_program: cmake/programs.cmake) ----
# The listing program's command line is fixed and has no --help: its page is
# written from src/programs/telva_usage.txt alone.
install(TARGETS telva RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
telva_man_page(telva "site potentials and lattice energy of an ionic crystal"
               TEXT ${PROJECT_SOURCE_DIR}/src/programs/telva_usage.txt)
telva_program(telva-cif "turn a CIF into a TELVA input file")
telva_program(telva-map "electrostatic potential maps of a crystal on a 3-D grid")
telva_program(telva-order "orderings of a disordered crystal ranked by electrostatic energy")

# ---- the core library: base, crystal and electrostatics ----
# The layers install as they are built (static libraries) under the names
# telva::base, telva::crystal and telva::electrostatics; telva::core is all
# three. Their headers go to include/telva/FOLDER, so that a user includes
# "electrostatics/core.hpp" as the layers include one another.
add_library(telva_core INTERFACE)
add_library(telva::core ALIAS telva_core)
target_link_libraries(telva_core INTERFACE telva_electrostatics)
target_include_directories(telva_core INTERFACE
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/telva>)
set_target_properties(telva_base PROPERTIES EXPORT_NAME base)
set_target_properties(telva_crystal PROPERTIES EXPORT_NAME crystal)
set_target_properties(telva_electrostatics PROPERTIES EXPORT_NAME electrostatics)
set_target_properties(telva_core PROPERTIES EXPORT_NAME core)
install(TARGETS telva_base telva_crystal telva_electrostatics telva_core EXPORT telvaTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
foreach(folder base crystal electrostatics)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/src/${folder}
          DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/telva FILES_MATCHING PATTERN "*.hpp")
endforeach()
install(FILES ${TELVA_GENERATED}/base/version.hpp
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/telva/base)

set(TELVA_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/telva)
install(EXPORT telvaTargets NAMESPACE telva:: DESTINATION ${TELVA_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/telvaConfig.cmake.in
  ${PROJECT_BINARY_DIR}/telvaConfig.cmake INSTALL_DESTINATION ${TELVA_CMAKE_DIR})
# Before 1.0 a minor version may change the interface.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/telvaConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/telvaConfig.cmake ${PROJECT_BINARY_DIR}/telvaConfigVersion.cmake
        DESTINATION ${TELVA_CMAKE_DIR})

# ---- the Python package and telva-screen ----
if(TELVA_PYTHON)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  file(GLOB TELVA_PYTHON_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/python/telva/*.py
       ${PROJECT_SOURCE_DIR}/python/telva/*.pyi ${PROJECT_SOURCE_DIR}/python/telva/py.typed)
  # Debian's interpreter reads /usr/lib/python3/dist-packages for any 3.x;
  # elsewhere the prefix's lib/pythonX.Y/site-packages.
  if(Python3_SITEARCH MATCHES "/dist-packages$")
    set(python_dir lib/python3/dist-packages)
  else()
    set(python_dir lib/python${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}/site-packages)
  endif()
  set(TELVA_PYTHON_INSTALL_DIR ${python_dir} CACHE STRING
      "Folder of the Python package telva, relative to the installation prefix")
  install(TARGETS telva_python LIBRARY DESTINATION ${TELVA_PYTHON_INSTALL_DIR}/telva)
  install(FILES ${TELVA_PYTHON_SOURCES} DESTINATION ${TELVA_PYTHON_INSTALL_DIR}/telva)

  # The installed telva-screen finds the package installed beside it.
  file(RELATIVE_PATH TELVA_SCREEN_TO_PYTHON /prefix/${CMAKE_INSTALL_BINDIR}
       /prefix/${TELVA_PYTHON_INSTALL_DIR})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/telva-screen.in
                 ${PROJECT_BINARY_DIR}/installed/telva-screen @ONLY)
  install(PROGRAMS ${PROJECT_BINARY_DIR}/installed/telva-screen
          DESTINATION ${CMAKE_INSTALL_BINDIR})
  telva_man_page(telva-screen "site potentials and energies of many structures, on Dask"
                 PROGRAM ${PROJECT_BINARY_DIR}/telva-screen DEPENDS telva_python)
  set_property(GLOBAL APPEND PROPERTY TELVA_VERSIONED_PROGRAMS
               ${PROJECT_BINARY_DIR}/telva-screen)
endif()

include(cmake/package.cmake)

# ---- tests ----
if(TELVA_TESTS)
  # Every program's --version: at the end of the top folder, when every
  # telva_program() has been called.
  cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL telva_versions_test)
  # telva keeps its command line: --version is the input file's path.
  add_test(NAME release.telva_version_is_a_path
           COMMAND telva --version ${PROJECT_BINARY_DIR}/no-listing.lst)
  set_tests_properties(release.telva_version_is_a_path PROPERTIES
    PASS_REGULAR_EXPRESSION "^telva: severe \\(29\\): file not found, unit 5, file --version\n$"
    TIMEOUT 60)
  if(TELVA_PYTHON)
    add_test(NAME release.python_version
             COMMAND ${Python3_EXECUTABLE} -c "import telva; print(telva.__version__)")
    set_tests_properties(release.python_version PROPERTIES
      ENVIRONMENT "PYTHONPATH=${PROJECT_BINARY_DIR}/python"
      PASS_REGULAR_EXPRESSION "^${PROJECT_VERSION}\n$" TIMEOUT 60)
  endif()
  # The installed tree and the package: not of a sanitizer build, whose
  # libraries need the sanitizers' runtime in every program linking them.
  if(TELVA_PYTHON AND NOT TELVA_SANITIZE)
    add_test(NAME release.installed_core
             COMMAND ${PROJECT_SOURCE_DIR}/tests/install/installed_core_test.sh
                     ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR} ${PROJECT_VERSION})
    add_test(NAME release.package
             COMMAND ${PROJECT_SOURCE_DIR}/tests/install/package_test.sh
                     ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR} ${PROJECT_VERSION})
    set_tests_properties(release.installed_core release.package PROPERTIES TIMEOUT 300)
    # pip install . builds the extension from nothing, for minutes: only with
    # TELVA_PIP_TEST=1 (make test-pip), skipped otherwise.
    add_test(NAME release.pip
             COMMAND ${PROJECT_SOURCE_DIR}/tests/install/pip_test.sh ${PROJECT_SOURCE_DIR}
                     ${PROJECT_VERSION})
    set_tests_properties(release.pip PROPERTIES LABELS pip SKIP_RETURN_CODE 77 TIMEOUT 1800)
  endif()
endif()

# The version of project() as the header base/version.hpp, in a folder of the
# build that the base layer's users see beside their views: every layer and
# program may print it.
set(TELVA_GENERATED ${PROJECT_BINARY_DIR}/generated)
configure_file(${PROJECT_SOURCE_DIR}/src/base/version.hpp.in ${TELVA_GENERATED}/base/version.hpp
               @ONLY)
target_include_directories(telva_base PUBLIC $<BUILD_INTERFACE:${TELVA_GENERATED}>)

# telva_program() and telva_man_page(), for every program's block below.
include(${PROJECT_SOURCE_DIR}/cmake/programs.cmake)

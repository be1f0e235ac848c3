# The GEGL operation glimmora:spokes (src/gegl), built natively whenever
# pkg-config finds GEGL 0.4 (Debian: libgegl-dev), with its tests.
#
#   build/gegl/glimmora-spokes.so   the module; GEGL loads it from GEGL_PATH
#                                   or from ~/.local/share/gegl-0.4/plug-ins
find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  pkg_check_modules(GEGL QUIET IMPORTED_TARGET gegl-0.4)
endif()
if(NOT GEGL_FOUND)
  message(STATUS "GEGL 0.4 not found (libgegl-dev): the GEGL operation is not built")
  return()
endif()
# Where GEGL keeps its own operations: GEGL_PATH replaces that folder, so
# whoever sets it names both.
pkg_get_variable(GEGL_SYSTEM_OPERATIONS gegl-0.4 pluginsdir)
set(GLIMMORA_GEGL_DIR ${CMAKE_BINARY_DIR}/gegl)

# The engine's sources are compiled in again, position-independent, so the
# module carries everything it needs.
file(GLOB GLIMMORA_ENGINE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/effect/*.cpp)
add_library(glimmora_gegl MODULE ${CMAKE_SOURCE_DIR}/src/gegl/spokes_op.c
                                 ${CMAKE_SOURCE_DIR}/src/gegl/spokes_render.cpp ${GLIMMORA_ENGINE_SOURCES})
target_include_directories(glimmora_gegl PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/src/gegl
                           ${GLIMMORA_GENERATED_DIR})
target_link_libraries(glimmora_gegl PRIVATE PkgConfig::GEGL)
target_compile_options(glimmora_gegl PRIVATE ${GLIMMORA_WARNINGS})
# gegl-op.h defines callbacks whose arguments the operation has no use for.
set_source_files_properties(${CMAKE_SOURCE_DIR}/src/gegl/spokes_op.c PROPERTIES COMPILE_OPTIONS -Wno-unused-parameter)
target_link_options(glimmora_gegl PRIVATE -Wl,--no-undefined)
# Only gegl_module_query and gegl_module_register are exported.
set_target_properties(glimmora_gegl PROPERTIES
  OUTPUT_NAME glimmora-spokes PREFIX ""
  LIBRARY_OUTPUT_DIRECTORY ${GLIMMORA_GEGL_DIR}
  POSITION_INDEPENDENT_CODE ON C_VISIBILITY_PRESET hidden CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON)

include(${CMAKE_SOURCE_DIR}/tests/gegl/tests.cmake OPTIONAL)

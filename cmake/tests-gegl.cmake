# Test tier "gegl": the GEGL operation glimmora:spokes (src/gegl).
#
#   gegl.unit.*          the operation inside GEGL graphs, natively (op_test.cpp)
#   gegl.tool            graph runs with the gegl tool
#   gegl.wine.*          its bytes against the real 64-bit plug-in under Wine,
#                        run by the CLI tier's reference host
if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    # A probe that prints the size of the plug-in dialog's big view as Wine
    # lays it out at its DPI.
    add_executable(gegl_view_size ${CMAKE_SOURCE_DIR}/tests/gegl/view_size_win.cpp)
    set_target_properties(gegl_view_size PROPERTIES OUTPUT_NAME gegl-view-size)
    target_compile_options(gegl_view_size PRIVATE ${GLIMMORA_WARNINGS})
    target_link_libraries(gegl_view_size PRIVATE user32 gdi32 kernel32)
    target_link_options(gegl_view_size PRIVATE ${GLIMMORA_STATIC_RUNTIMES})
  endif()
  return()
endif()

if(NOT TARGET glimmora_gegl)
  message(STATUS "GEGL tier off: the GEGL operation is not built")
  return()
endif()

set(GLIMMORA_GEGL_PATH "${GLIMMORA_GEGL_DIR}:${GEGL_SYSTEM_OPERATIONS}")

# Expectations come from the plain reference (tests/reference), never from
# the engine the module is built from.
add_executable(gegl_tests ${CMAKE_SOURCE_DIR}/tests/gegl/op_test.cpp ${CMAKE_SOURCE_DIR}/tests/reference/reference.cpp)
# The value table and the version are the product's own definitions: the
# operation must declare what they say.
target_include_directories(gegl_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/reference ${CMAKE_SOURCE_DIR}/src
                           ${GLIMMORA_GENERATED_DIR})
target_link_libraries(gegl_tests PRIVATE PkgConfig::GEGL GTest::gtest)
target_compile_options(gegl_tests PRIVATE ${GLIMMORA_WARNINGS})
add_dependencies(gegl_tests glimmora_gegl)
gtest_discover_tests(gegl_tests TEST_PREFIX "gegl.unit." DISCOVERY_TIMEOUT 60
                     PROPERTIES ENVIRONMENT "GEGL_PATH=${GLIMMORA_GEGL_PATH}")

set(gegl_driver ${CMAKE_SOURCE_DIR}/tests/gegl/gegl_test.py)
set(gegl_args --module-dir ${GLIMMORA_GEGL_DIR} --system-ops ${GEGL_SYSTEM_OPERATIONS}
              --work ${CMAKE_BINARY_DIR}/gegl-tests)
add_test(NAME gegl.tool COMMAND ${Python3_EXECUTABLE} ${gegl_driver} ${gegl_args} Tool)
set_tests_properties(gegl.tool PROPERTIES TIMEOUT 300)

if(DEFINED GLIMMORA_WINE_STATE)
  set(gegl_wine_args ${gegl_args} --env ${GLIMMORA_WINE_ENV} --state ${GLIMMORA_WINE_STATE}
                     --reference-host ${GLIMMORA_WIN64_DIR}/reference-host.exe --plugin ${GLIMMORA_PLUGIN64}
                     --probe ${GLIMMORA_WIN64_DIR}/gegl-view-size.exe
                     --keeper ${GLIMMORA_WIN64_DIR}/desktop_keeper.exe)
  add_test(NAME gegl.wine.SameAsPlugin COMMAND ${Python3_EXECUTABLE} ${gegl_driver} ${gegl_wine_args} SameAsPlugin)
  # One Wine program at a time on the tier's display, as in the rest of the
  # Wine tier.
  set_tests_properties(gegl.wine.SameAsPlugin PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 600
                                                         RESOURCE_LOCK wine_display)
  # A prefix and display of its own, at other DPIs: no fixture, no lock.
  add_test(NAME gegl.wine.ViewSizes COMMAND ${Python3_EXECUTABLE} ${gegl_driver} ${gegl_wine_args} ViewSizes)
  set_tests_properties(gegl.wine.ViewSizes PROPERTIES TIMEOUT 600)
endif()

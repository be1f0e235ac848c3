# Test tier "release": tools/release.sh builds its own copies of the binaries
# in another folder and packs them; release.bundles checks that they are the
# bytes the test tiers ran, and what a user unpacks.  It needs both Windows
# builds and the GEGL operation.
if(WIN32)
  return()
endif()
if(NOT GLIMMORA_WINDOWS OR NOT TARGET glimmora_gegl)
  message(STATUS "release tier off: it needs the Windows builds and the GEGL operation")
  return()
endif()

add_test(NAME release.bundles
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/release/release_test.py
                 --root ${CMAKE_SOURCE_DIR} --work ${CMAKE_BINARY_DIR}/release-check
                 --plugin32 ${GLIMMORA_PLUGIN32} --plugin64 ${GLIMMORA_PLUGIN64}
                 --gegl-module ${GLIMMORA_GEGL_DIR}/glimmora-spokes.so --system-ops ${GEGL_SYSTEM_OPERATIONS}
                 --version ${PROJECT_VERSION})
# Three builds of its own: the longest entry of a run on two cores, so it
# starts first.
set_tests_properties(release.bundles PROPERTIES TIMEOUT 900 COST 200)

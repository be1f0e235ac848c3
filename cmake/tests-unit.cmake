# Test tier "unit": the portable core's unit tests, natively (unit.*), the
# same over a sanitized build of the core (sanitized.unit_tests), and the
# floors of src/ (structure.layers).
if(WIN32)
  return()
endif()

# The plain reference (tests/reference) is built into the unit tests with its
# own checks against the documented examples.
file(GLOB UNIT_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp
     ${CMAKE_SOURCE_DIR}/tests/reference/*.cpp)
add_executable(unit_tests ${UNIT_TEST_SOURCES})
target_include_directories(unit_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/unit ${CMAKE_SOURCE_DIR}/tests/reference)
target_link_libraries(unit_tests glimmora_core GTest::gtest_main)
target_compile_options(unit_tests PRIVATE ${GLIMMORA_WARNINGS})
target_precompile_headers(unit_tests PRIVATE ${GLIMMORA_TEST_PCH})
gtest_discover_tests(unit_tests TEST_PREFIX "unit." DISCOVERY_TIMEOUT 60)

# The same unit tests over the same core, sanitized.
add_executable(unit_tests_sanitized ${UNIT_TEST_SOURCES} ${GLIMMORA_CORE_SOURCES})
target_include_directories(unit_tests_sanitized PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/res
                           ${CMAKE_SOURCE_DIR}/tests/unit ${CMAKE_SOURCE_DIR}/tests/reference)
target_compile_definitions(unit_tests_sanitized PRIVATE GLIMMORA_SANITIZED=1)
target_compile_options(unit_tests_sanitized PRIVATE ${GLIMMORA_WARNINGS})
glimmora_sanitize(unit_tests_sanitized)
target_link_libraries(unit_tests_sanitized GTest::gtest_main)
target_precompile_headers(unit_tests_sanitized PRIVATE ${GLIMMORA_TEST_PCH})
add_test(NAME sanitized.unit_tests COMMAND unit_tests_sanitized)

# Includes between the rooms of src/ run only downward (tools/check_layers.py).
add_test(NAME structure.layers COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/check_layers.py
                                       ${CMAKE_SOURCE_DIR}/src)

# Native (Linux) build: the portable core with its unit tests and benchmarks,
# plus the driver for the two Windows builds and the Wine test tiers.
find_package(GTest REQUIRED)
include(GoogleTest)
enable_testing()

add_library(glimmora_core STATIC ${GLIMMORA_CORE_SOURCES})
target_include_directories(glimmora_core PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/res)
target_compile_options(glimmora_core PRIVATE ${GLIMMORA_WARNINGS})

# The plain reference (tests/reference) is built into the unit tests with its
# own checks against the documented examples.
file(GLOB UNIT_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp
     ${CMAKE_SOURCE_DIR}/tests/reference/*.cpp)
add_executable(unit_tests ${UNIT_TEST_SOURCES})
target_include_directories(unit_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/unit ${CMAKE_SOURCE_DIR}/tests/reference)
target_link_libraries(unit_tests glimmora_core GTest::gtest_main)
target_compile_options(unit_tests PRIVATE ${GLIMMORA_WARNINGS})
gtest_discover_tests(unit_tests TEST_PREFIX "unit." DISCOVERY_TIMEOUT 60)
# GoogleTest's header is parsed once per test program, not once per file.
set(GLIMMORA_TEST_PCH "$<$<COMPILE_LANGUAGE:CXX>:<gtest/gtest.h$<ANGLE-R>>")
target_precompile_headers(unit_tests PRIVATE ${GLIMMORA_TEST_PCH})

# The same unit tests over the same core, built with AddressSanitizer and
# UndefinedBehaviorSanitizer; any report fails the run.
add_executable(unit_tests_sanitized ${UNIT_TEST_SOURCES} ${GLIMMORA_CORE_SOURCES})
target_include_directories(unit_tests_sanitized PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/res ${CMAKE_SOURCE_DIR}/tests/unit
                           ${CMAKE_SOURCE_DIR}/tests/reference)
target_compile_definitions(unit_tests_sanitized PRIVATE GLIMMORA_SANITIZED=1)
target_compile_options(unit_tests_sanitized PRIVATE ${GLIMMORA_WARNINGS} -O0 -g
  -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
target_link_options(unit_tests_sanitized PRIVATE -fsanitize=address,undefined)
target_link_libraries(unit_tests_sanitized GTest::gtest_main)
target_precompile_headers(unit_tests_sanitized PRIVATE ${GLIMMORA_TEST_PCH})
add_test(NAME sanitized.unit_tests COMMAND unit_tests_sanitized)

# Includes between the rooms of src/ run only downward (tools/check_layers.py).
find_package(Python3 COMPONENTS Interpreter REQUIRED)
add_test(NAME structure.layers COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/check_layers.py
                                       ${CMAKE_SOURCE_DIR}/src)

# Benchmarks: built, never run as tests.
file(GLOB BENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*.cpp)
find_package(benchmark QUIET)
if(BENCH_SOURCES AND benchmark_FOUND)
  add_executable(glimmora_bench ${BENCH_SOURCES})
  target_link_libraries(glimmora_bench glimmora_core benchmark::benchmark)
  target_compile_options(glimmora_bench PRIVATE ${GLIMMORA_WARNINGS})
endif()

# The two Windows builds, from this same source tree.
option(GLIMMORA_WINDOWS "Build the Windows DLLs and run the Wine test tiers" ON)
if(GLIMMORA_WINDOWS)
  include(ExternalProject)
  foreach(arch i686 x86_64)
    ExternalProject_Add(windows_${arch}
      SOURCE_DIR ${CMAKE_SOURCE_DIR}
      BINARY_DIR ${CMAKE_BINARY_DIR}/win-${arch}
      CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-${arch}.cmake
                 -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
      BUILD_ALWAYS 1
      INSTALL_COMMAND "")
  endforeach()
  set(GLIMMORA_WIN32_DIR ${CMAKE_BINARY_DIR}/win-i686)
  set(GLIMMORA_WIN64_DIR ${CMAKE_BINARY_DIR}/win-x86_64)
  include(${CMAKE_SOURCE_DIR}/tests/wine/tests.cmake OPTIONAL)
endif()

# The command-line host's tests (native units; Wine runs when the tier above is on).
include(${CMAKE_SOURCE_DIR}/tests/cli/tests.cmake OPTIONAL)

# The GEGL operation glimmora:spokes and its tests, when GEGL 0.4 is installed.
include(${CMAKE_SOURCE_DIR}/cmake/gegl.cmake)

# The engine as WebAssembly and the web page, with their tests, when emscripten is installed.
include(${CMAKE_SOURCE_DIR}/cmake/web.cmake)

# The native (Linux) build: the portable core, the benchmarks, the GEGL
# operation, the two Windows builds, and what the native test tiers share.

add_library(glimmora_core STATIC ${GLIMMORA_CORE_SOURCES})
target_include_directories(glimmora_core PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/res)
target_compile_options(glimmora_core PRIVATE ${GLIMMORA_WARNINGS})

# Benchmarks: built, never run as tests.
file(GLOB BENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*.cpp)
find_package(benchmark QUIET)
if(BENCH_SOURCES AND benchmark_FOUND)
  add_executable(glimmora_bench ${BENCH_SOURCES})
  target_link_libraries(glimmora_bench glimmora_core benchmark::benchmark)
  target_compile_options(glimmora_bench PRIVATE ${GLIMMORA_WARNINGS})
endif()

# --- the GEGL operation glimmora:spokes (src/gegl) ------------------------------
# Built whenever pkg-config finds GEGL 0.4 (Debian: libgegl-dev).
#
#   build/gegl/glimmora-spokes.so   the module; GEGL loads it from GEGL_PATH
#                                   or from ~/.local/share/gegl-0.4/plug-ins
find_package(PkgConfig REQUIRED)
pkg_check_modules(GEGL QUIET IMPORTED_TARGET gegl-0.4)
if(GEGL_FOUND)
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
  set_source_files_properties(${CMAKE_SOURCE_DIR}/src/gegl/spokes_op.c PROPERTIES
                              COMPILE_OPTIONS -Wno-unused-parameter)
  target_link_options(glimmora_gegl PRIVATE -Wl,--no-undefined)
  # Only gegl_module_query and gegl_module_register are exported.
  set_target_properties(glimmora_gegl PROPERTIES
    OUTPUT_NAME glimmora-spokes PREFIX ""
    LIBRARY_OUTPUT_DIRECTORY ${GLIMMORA_GEGL_DIR}
    POSITION_INDEPENDENT_CODE ON C_VISIBILITY_PRESET hidden CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
else()
  message(STATUS "GEGL 0.4 not found (libgegl-dev): the GEGL operation is not built")
endif()

# --- the two Windows builds, from this same source tree -------------------------
#   build/win-i686/     GLIMMORA.8bf (the product), glimmora-host.exe, test programs
#   build/win-x86_64/   the same for 64 bits
option(GLIMMORA_WINDOWS "Build the Windows DLLs and run the Wine test tiers" ON)
if(GLIMMORA_WINDOWS)
  include(ExternalProject)
  foreach(arch i686 x86_64)
    ExternalProject_Add(windows_${arch}
      SOURCE_DIR ${CMAKE_SOURCE_DIR}
      BINARY_DIR ${CMAKE_BINARY_DIR}/win-${arch}
      CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-${arch}.cmake
                 -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
                 -DGLIMMORA_GTEST_SOURCE_DIR=${GLIMMORA_GTEST_SOURCE_DIR}
      BUILD_ALWAYS 1
      INSTALL_COMMAND "")
  endforeach()
  set(GLIMMORA_WIN32_DIR ${CMAKE_BINARY_DIR}/win-i686)
  set(GLIMMORA_WIN64_DIR ${CMAKE_BINARY_DIR}/win-x86_64)
  set(GLIMMORA_PLUGIN32 ${GLIMMORA_WIN32_DIR}/GLIMMORA.8bf)
  set(GLIMMORA_PLUGIN64 ${GLIMMORA_WIN64_DIR}/GLIMMORA.8bf)
endif()

# --- the web page: the engine as WebAssembly (cmake/web.cmake) ------------------
#   build/web/   index.html and what it loads; tools/web.sh serves it
# Built whenever emscripten is installed (Debian: emscripten, which brings node
# and its acorn module).
find_program(GLIMMORA_EMCC emcc)
find_program(GLIMMORA_NODE node)
find_path(GLIMMORA_NODE_MODULES acorn/package.json PATHS /usr/share/nodejs /usr/lib/nodejs
          DOC "the system's node modules, which hold emcc's acorn")
if(GLIMMORA_EMCC AND GLIMMORA_NODE AND GLIMMORA_NODE_MODULES)
  # Debian's emcc is a link into emscripten's folder, which holds its toolchain file.
  get_filename_component(emcc_path ${GLIMMORA_EMCC} REALPATH)
  get_filename_component(emscripten_root ${emcc_path} DIRECTORY)
  set(GLIMMORA_WEB_DIR ${CMAKE_BINARY_DIR}/web)
  include(ExternalProject)
  ExternalProject_Add(web
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/web-build
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${emscripten_root}/cmake/Modules/Platform/Emscripten.cmake
               -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE} -DGLIMMORA_WEB_DIR=${GLIMMORA_WEB_DIR}
               -DGLIMMORA_NODE_MODULES=${GLIMMORA_NODE_MODULES}
               -DGLIMMORA_STB_INCLUDE_DIR=${GLIMMORA_STB_INCLUDE_DIR}
    BUILD_ALWAYS 1
    INSTALL_COMMAND "")
  # The same engine benchmark natively (bench/web/web_bench.sh builds it).
  add_executable(web_bench_native EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/bench/web/engine_bench.cpp)
  target_include_directories(web_bench_native PRIVATE ${CMAKE_SOURCE_DIR}/bench)
  target_link_libraries(web_bench_native glimmora_core)
  target_compile_options(web_bench_native PRIVATE ${GLIMMORA_WARNINGS})
else()
  message(STATUS "emscripten or node missing (tools/setup.sh installs them): the web page is not built")
endif()

# --- what the native test tiers share ----------------------------------------------
enable_testing()
find_package(GTest REQUIRED)
include(GoogleTest)
find_package(Python3 COMPONENTS Interpreter REQUIRED)
# GoogleTest's header is parsed once per test program, not once per file.
set(GLIMMORA_TEST_PCH "$<$<COMPILE_LANGUAGE:CXX>:<gtest/gtest.h$<ANGLE-R>>")
# glimmora_sanitize(TARGET): builds a test program with AddressSanitizer and
# UndefinedBehaviorSanitizer, any report failing the run; at -O0, which
# builds fastest.
function(glimmora_sanitize target)
  target_compile_options(${target} PRIVATE -O0 -g -fsanitize=address,undefined -fno-sanitize-recover=all
                                           -fno-omit-frame-pointer)
  target_link_options(${target} PRIVATE -fsanitize=address,undefined)
endfunction()

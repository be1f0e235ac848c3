# Windows side of the test tiers (included by cmake/windows.cmake in both
# Windows builds).  The test host library and the test programs are built for
# 32 and 64 bits; each program loads the plug-in of its own bitness.  The 64-bit
# ones run under the system's Wine, the 32-bit ones under the emulated 32-bit
# Wine (tools/setup-i386.sh).

file(GLOB GLIMMORA_TESTHOST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/testhost/*.cpp)
add_library(glimmora_testhost STATIC ${GLIMMORA_TESTHOST_SOURCES})
target_include_directories(glimmora_testhost PUBLIC ${CMAKE_SOURCE_DIR}/tools/testhost)
# The test programs only drive the plug-in; compiling them at a light
# optimisation level halves their build time and costs nothing measurable
# when they run (the plug-in itself keeps the build's full optimisation).
set(GLIMMORA_TEST_OPT -O1)
target_compile_options(glimmora_testhost PRIVATE ${GLIMMORA_WARNINGS} ${GLIMMORA_TEST_OPT})
target_link_libraries(glimmora_testhost PUBLIC glimmora_filter_host)

# GoogleTest from the distribution's sources, built with this toolchain.
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# The win32 thread model has no std::mutex.  GoogleTest locks with Win32
# primitives on Windows anyway; only its Notification helper wants
# std::mutex, so it gets one built on a Win32 event instead.
target_compile_definitions(gtest PUBLIC GTEST_HAS_NOTIFICATION_=1)
target_compile_options(gtest PUBLIC -include ${CMAKE_SOURCE_DIR}/tests/wine/gtest_notification.h)
target_compile_options(gtest PRIVATE ${GLIMMORA_TEST_OPT})

# Static runtimes: the programs run under Wine with no mingw DLLs beside them.
set(GLIMMORA_TEST_LINK -static -static-libgcc -static-libstdc++)

function(glimmora_wine_program name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${name}/*.cpp)
  add_executable(${name}_tests ${sources} ${CMAKE_SOURCE_DIR}/tests/wine/wine_main.cpp)
  target_include_directories(${name}_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/wine ${CMAKE_SOURCE_DIR}/res)
  target_link_libraries(${name}_tests PRIVATE glimmora_testhost gtest)
  target_compile_options(${name}_tests PRIVATE ${GLIMMORA_WARNINGS} ${GLIMMORA_TEST_OPT})
  target_link_options(${name}_tests PRIVATE ${GLIMMORA_TEST_LINK})
  # The plug-in of this build is the default; the Wine tier passes the
  # paths explicitly.
  target_compile_definitions(${name}_tests PRIVATE GLIMMORA_DEFAULT_PLUGIN="$<TARGET_FILE:glimmora>")
  add_dependencies(${name}_tests glimmora)
endfunction()

glimmora_wine_program(structure)
# The version resource is read as Windows reads it, through version.dll.
target_link_libraries(structure_tests PRIVATE version)
target_include_directories(structure_tests PRIVATE ${GLIMMORA_GENERATED_DIR})
glimmora_wine_program(e2e)
# The end-to-end tests take their expectations from the plain reference,
# never from the plug-in's own sources.
target_sources(e2e_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/reference/reference.cpp)
target_include_directories(e2e_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/reference)

add_executable(desktop_keeper ${CMAKE_SOURCE_DIR}/tests/wine/desktop_keeper.cpp)
target_compile_options(desktop_keeper PRIVATE ${GLIMMORA_WARNINGS})
target_link_options(desktop_keeper PRIVATE ${GLIMMORA_TEST_LINK})
target_link_libraries(desktop_keeper PRIVATE user32)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  # The GEGL operation's probe of the dialog's view size.
  include(${CMAKE_SOURCE_DIR}/tests/gegl/windows.cmake OPTIONAL)
endif()

# A Windows build (mingw-w64, 32 or 64 bits): the plug-in DLL, the filter host
# library, glimmora-host.exe, and the test host library the test tiers'
# Windows programs use.  Only the DLL is shipped; tools/release.sh builds the
# target glimmora alone, so nothing here may change how the DLL is built.
enable_language(RC)

# No link time in the PE header: the same sources give the same DLL.
add_link_options(-Wl,--no-insert-timestamp)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(GLIMMORA_BITS 32)
  # Window and dialog procedures are stdcall: export them undecorated.
  set(GLIMMORA_EXPORT_BIG "big_procedure=big_procedure@16")
  set(GLIMMORA_EXPORT_SMALL "small_procedure=small_procedure@16")
  set(GLIMMORA_EXPORT_DLG "FilterDlg=FilterDlg@16")
else()
  set(GLIMMORA_BITS 64)
  set(GLIMMORA_EXPORT_BIG "big_procedure")
  set(GLIMMORA_EXPORT_SMALL "small_procedure")
  set(GLIMMORA_EXPORT_DLG "FilterDlg")
endif()
configure_file(${CMAKE_SOURCE_DIR}/res/glimmora.def.in ${CMAKE_BINARY_DIR}/glimmora.def @ONLY)

add_library(glimmora SHARED ${GLIMMORA_ALL_SOURCES}
            ${CMAKE_SOURCE_DIR}/res/glimmora.rc ${CMAKE_BINARY_DIR}/glimmora.def)
target_include_directories(glimmora PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/res ${GLIMMORA_GENERATED_DIR})
target_compile_definitions(glimmora PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX)
target_compile_options(glimmora PRIVATE
  $<$<COMPILE_LANGUAGE:CXX>:${GLIMMORA_WARNINGS} -fno-exceptions -fno-rtti>)
# The C and C++ runtimes are linked in: the DLL imports system DLLs only, so it
# loads in a host that ships nothing else.  The programs below link them in
# too, so they run under Wine with no mingw DLLs beside them.
set(GLIMMORA_STATIC_RUNTIMES -static -static-libgcc -static-libstdc++)
target_link_options(glimmora PRIVATE ${GLIMMORA_STATIC_RUNTIMES} -s)
set_target_properties(glimmora PROPERTIES OUTPUT_NAME GLIMMORA PREFIX "" SUFFIX ".8bf"
                      IMPORT_PREFIX "" IMPORT_SUFFIX ".lib")

# --- the filter host (tools/filter_host) -----------------------------------------
# Loads a plug-in and drives it as a host does; glimmora-host.exe and the test
# host are built on it.
file(GLOB GLIMMORA_FILTER_HOST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/filter_host/*.cpp)
add_library(glimmora_filter_host STATIC ${GLIMMORA_FILTER_HOST_SOURCES})
target_include_directories(glimmora_filter_host PUBLIC ${CMAKE_SOURCE_DIR}/tools ${CMAKE_SOURCE_DIR}/src)
target_compile_definitions(glimmora_filter_host PUBLIC NOMINMAX)
target_compile_options(glimmora_filter_host PRIVATE ${GLIMMORA_WARNINGS})
target_link_libraries(glimmora_filter_host PUBLIC user32 gdi32 kernel32)

# --- glimmora-host.exe, the command-line host (tools/cli) ------------------------
# Built for 32 and 64 bits; tools/glimmora starts it under Wine.  Everything
# but main() is an object library, which the CLI tier's reference program
# shares (cmake/tests-cli.cmake).
file(GLOB GLIMMORA_CLI_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/cli/*.cpp)
list(REMOVE_ITEM GLIMMORA_CLI_SOURCES ${CMAKE_SOURCE_DIR}/tools/cli/main_win.cpp)
add_library(glimmora_cli OBJECT ${GLIMMORA_CLI_SOURCES})
target_include_directories(glimmora_cli PUBLIC ${CMAKE_SOURCE_DIR}/tools ${CMAKE_SOURCE_DIR}/src
                           PRIVATE ${CMAKE_SOURCE_DIR}/res ${GLIMMORA_GENERATED_DIR})
target_include_directories(glimmora_cli SYSTEM PRIVATE ${GLIMMORA_STB_INCLUDE_DIR})
target_compile_options(glimmora_cli PRIVATE ${GLIMMORA_WARNINGS})
# The decoder's sums of coefficients wrap in damaged JPEGs (see image_io.cpp).
set_source_files_properties(${CMAKE_SOURCE_DIR}/tools/cli/image_io.cpp PROPERTIES COMPILE_OPTIONS -fwrapv)
target_compile_definitions(glimmora_cli PUBLIC WIN32_LEAN_AND_MEAN NOMINMAX)
target_link_libraries(glimmora_cli PUBLIC glimmora_filter_host)

add_executable(glimmora_host ${CMAKE_SOURCE_DIR}/tools/cli/main_win.cpp)
set_target_properties(glimmora_host PROPERTIES OUTPUT_NAME glimmora-host)
target_compile_options(glimmora_host PRIVATE ${GLIMMORA_WARNINGS})
target_link_libraries(glimmora_host PRIVATE glimmora_cli)
target_link_options(glimmora_host PRIVATE ${GLIMMORA_STATIC_RUNTIMES})
# The plug-in it runs by default sits beside it.
add_dependencies(glimmora_host glimmora)

# --- the test host (tools/testhost) -----------------------------------------------
# The filter host plus what only tests need; the test tiers' Windows programs
# link it, glimmora-host.exe never does.
file(GLOB GLIMMORA_TESTHOST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/testhost/*.cpp)
add_library(glimmora_testhost STATIC ${GLIMMORA_TESTHOST_SOURCES})
target_include_directories(glimmora_testhost PUBLIC ${CMAKE_SOURCE_DIR}/tools/testhost)
# The test programs only drive the plug-in; compiling them at a light
# optimisation level halves their build time and costs nothing measurable
# when they run (the plug-in itself keeps the build's full optimisation).
set(GLIMMORA_TEST_OPT -O1)
target_compile_options(glimmora_testhost PRIVATE ${GLIMMORA_WARNINGS} ${GLIMMORA_TEST_OPT})
target_link_libraries(glimmora_testhost PUBLIC glimmora_filter_host)

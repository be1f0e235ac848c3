# Windows tools (included by cmake/windows.cmake after the test host library):
# glimmora-host.exe, the command-line host, built for 32 and 64 bits.  Only
# the 64-bit one runs here (tools/glimmora starts it under Wine).

# Everything but main() is an object library, which the tests' reference
# program (tests/cli/reference_host_win.cpp) shares.
file(GLOB GLIMMORA_CLI_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/cli/*.cpp)
list(REMOVE_ITEM GLIMMORA_CLI_SOURCES ${CMAKE_SOURCE_DIR}/tools/cli/main_win.cpp)
add_library(glimmora_cli OBJECT ${GLIMMORA_CLI_SOURCES})
target_include_directories(glimmora_cli PUBLIC ${CMAKE_SOURCE_DIR}/tools ${CMAKE_SOURCE_DIR}/src
                           PRIVATE ${CMAKE_SOURCE_DIR}/res ${GLIMMORA_GENERATED_DIR})
# stb_image and stb_image_write come from Debian's libstb-dev.
target_compile_options(glimmora_cli PRIVATE ${GLIMMORA_WARNINGS} -isystem /usr/include/stb)
target_compile_definitions(glimmora_cli PUBLIC WIN32_LEAN_AND_MEAN NOMINMAX)
target_link_libraries(glimmora_cli PUBLIC glimmora_filter_host)

add_executable(glimmora_host ${CMAKE_SOURCE_DIR}/tools/cli/main_win.cpp)
set_target_properties(glimmora_host PROPERTIES OUTPUT_NAME glimmora-host)
target_compile_options(glimmora_host PRIVATE ${GLIMMORA_WARNINGS})
target_link_libraries(glimmora_host PRIVATE glimmora_cli)
# Static runtimes: the program runs under Wine with no mingw DLLs beside it.
target_link_options(glimmora_host PRIVATE -static -static-libgcc -static-libstdc++)
# The plug-in it runs by default sits beside it.
add_dependencies(glimmora_host glimmora)

# The tests' reference: the same program driving the plug-in through the test
# host's run.
add_executable(reference_host ${CMAKE_SOURCE_DIR}/tests/cli/reference_host_win.cpp)
set_target_properties(reference_host PROPERTIES OUTPUT_NAME reference-host)
target_compile_options(reference_host PRIVATE ${GLIMMORA_WARNINGS})
target_link_libraries(reference_host PRIVATE glimmora_cli glimmora_testhost)
target_link_options(reference_host PRIVATE -static -static-libgcc -static-libstdc++)
add_dependencies(reference_host glimmora)

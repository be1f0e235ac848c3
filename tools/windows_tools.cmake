# Windows tools (included by cmake/windows.cmake after the test host library):
# glimmora-host.exe, the command-line host, built for 32 and 64 bits.  Only
# the 64-bit one runs here (tools/glimmora starts it under Wine).

file(GLOB GLIMMORA_CLI_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/cli/*.cpp)
add_executable(glimmora_host ${GLIMMORA_CLI_SOURCES})
set_target_properties(glimmora_host PROPERTIES OUTPUT_NAME glimmora-host)
target_include_directories(glimmora_host PRIVATE ${CMAKE_SOURCE_DIR}/tools ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/res
                           ${GLIMMORA_GENERATED_DIR})
# stb_image and stb_image_write come from Debian's libstb-dev.
target_compile_options(glimmora_host PRIVATE ${GLIMMORA_WARNINGS} -isystem /usr/include/stb)
# The decoder's sums of coefficients wrap in damaged JPEGs (see image_io.cpp).
set_source_files_properties(${CMAKE_SOURCE_DIR}/tools/cli/image_io.cpp PROPERTIES COMPILE_OPTIONS -fwrapv)
target_compile_definitions(glimmora_host PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX)
target_link_libraries(glimmora_host PRIVATE glimmora_testhost)
# Static runtimes: the program runs under Wine with no mingw DLLs beside it.
target_link_options(glimmora_host PRIVATE -static -static-libgcc -static-libstdc++)
# The plug-in it runs by default sits beside it.
add_dependencies(glimmora_host glimmora)

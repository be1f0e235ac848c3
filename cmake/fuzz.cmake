# The fuzz harnesses (tests/fuzz): a build of their own, with clang++ as the
# compiler, because libFuzzer comes with clang.  cmake/tests-fuzz.cmake starts
# it from the native build with -DGLIMMORA_FUZZ=ON.  Each harness is one file
# in tests/fuzz plus the portable sources it exercises, all built with
# libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer.

add_compile_options(-O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
add_link_options(-fsanitize=fuzzer,address,undefined)
include_directories(${CMAKE_SOURCE_DIR}/tools ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/res)

set(cli ${CMAKE_SOURCE_DIR}/tools/cli)
file(GLOB engine CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/effect/*.cpp)
set(command_line_sources ${cli}/options.cpp ${cli}/params_file.cpp)
set(dialog_script_sources ${cli}/dialog_script.cpp ${cli}/options.cpp)
set(pipl_sources ${cli}/pipl.cpp)
set(image_sources ${cli}/image_io.cpp ${cli}/image_header.cpp ${cli}/big_blocks.cpp)
set(record_sources ${engine} ${CMAKE_SOURCE_DIR}/src/state/run_state.cpp ${CMAKE_SOURCE_DIR}/src/host/params.cpp
                   ${CMAKE_SOURCE_DIR}/src/host/plan.cpp ${CMAKE_SOURCE_DIR}/src/host/prepare.cpp
                   ${CMAKE_SOURCE_DIR}/src/host/load.cpp)
foreach(name command_line dialog_script pipl image record)
  add_executable(${name} ${CMAKE_SOURCE_DIR}/tests/fuzz/${name}.cpp ${${name}_sources})
endforeach()

# The decoder as the host builds it (cmake/windows.cmake): sums that wrap, and
# stb_image_write's shifts of negative values left to the compiler's definition.
set_source_files_properties(${cli}/image_io.cpp PROPERTIES COMPILE_OPTIONS "-fwrapv;-fno-sanitize=shift")
target_include_directories(image SYSTEM PRIVATE ${GLIMMORA_STB_INCLUDE_DIR})

# Windows builds (mingw-w64): the plug-in DLL, and on top of it the test host,
# the Wine test programs and the command-line host.
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
# loads in a host that ships nothing else.
target_link_options(glimmora PRIVATE -static -static-libgcc -static-libstdc++ -s)
set_target_properties(glimmora PROPERTIES OUTPUT_NAME GLIMMORA PREFIX "" SUFFIX ".8bf"
                      IMPORT_PREFIX "" IMPORT_SUFFIX ".lib")

# The filter host (tools/filter_host): loads a plug-in and drives it as a host
# does; glimmora-host.exe and the test host are built on it.
file(GLOB GLIMMORA_FILTER_HOST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/filter_host/*.cpp)
add_library(glimmora_filter_host STATIC ${GLIMMORA_FILTER_HOST_SOURCES})
target_include_directories(glimmora_filter_host PUBLIC ${CMAKE_SOURCE_DIR}/tools ${CMAKE_SOURCE_DIR}/src)
target_compile_definitions(glimmora_filter_host PUBLIC NOMINMAX)
target_compile_options(glimmora_filter_host PRIVATE ${GLIMMORA_WARNINGS})
target_link_libraries(glimmora_filter_host PUBLIC user32 gdi32 kernel32)

include(${CMAKE_SOURCE_DIR}/tests/windows_tests.cmake OPTIONAL)
include(${CMAKE_SOURCE_DIR}/tools/windows_tools.cmake OPTIONAL)

# The Windows side of the GEGL operation's tests (included by
# tests/windows_tests.cmake in the 64-bit build): a probe that prints the size
# of the plug-in dialog's big view as Wine lays it out at its DPI.
add_executable(gegl_view_size ${CMAKE_SOURCE_DIR}/tests/gegl/view_size_win.cpp)
set_target_properties(gegl_view_size PROPERTIES OUTPUT_NAME gegl-view-size)
target_compile_options(gegl_view_size PRIVATE ${GLIMMORA_WARNINGS})
target_link_libraries(gegl_view_size PRIVATE user32 gdi32 kernel32)
target_link_options(gegl_view_size PRIVATE -static -static-libgcc -static-libstdc++)

# The web build: the engine (src/effect) and the web page's C interface
# (src/web) compiled by emscripten into a static folder,
#
#   build/web/index.html       the page, with glimmora.css, page.js, worker.js
#   build/web/glimmora-simd.*  the engine with wasm SIMD (the SSE2 path) and bulk memory
#   build/web/glimmora.*       the engine without either, for browsers that refuse SIMD
#   build/web/samples/         the picture the page opens with
#
# The native build starts it (cmake/native.cmake) with emscripten's toolchain
# and hands it GLIMMORA_WEB_DIR, GLIMMORA_NODE_MODULES and stb's headers.

file(GLOB engine_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/effect/*.cpp)
file(GLOB web_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/web/*.cpp)
set(exported _malloc _free _glimmora_web_value_count _glimmora_web_value_name _glimmora_web_value_label
    _glimmora_web_value_minimum _glimmora_web_value_maximum _glimmora_web_value_default _glimmora_web_value_shown _glimmora_web_view_width
    _glimmora_web_view_height _glimmora_web_max_side _glimmora_web_render _glimmora_web_render_copy
    _glimmora_web_shrink _glimmora_web_ring _glimmora_web_decode_png _glimmora_web_decode_failure)
string(REPLACE ";" "," exported "${exported}")
# emcc runs node scripts that need acorn from the system's node modules.
set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env NODE_PATH=${GLIMMORA_NODE_MODULES})
# A classic script that defines GlimmoraEngine(), for the page, its worker
# (importScripts) and node (the tests and the benchmark).
set(module_options -sMODULARIZE=1 -sEXPORT_NAME=GlimmoraEngine -sENVIRONMENT=web,worker,node
    -sALLOW_MEMORY_GROWTH=1 -sMAXIMUM_MEMORY=2GB -sABORTING_MALLOC=0 -sFILESYSTEM=0
    -sEXPORTED_FUNCTIONS=${exported} -sEXPORTED_RUNTIME_METHODS=UTF8ToString)
foreach(variant plain simd)
  # The engine once per variant, for the page's module and the benchmark.
  add_library(glimmora_engine_${variant} STATIC ${engine_sources})
  target_include_directories(glimmora_engine_${variant} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_compile_options(glimmora_engine_${variant} PRIVATE ${GLIMMORA_WARNINGS})
  if(variant STREQUAL simd)
    target_compile_options(glimmora_engine_${variant} PUBLIC -msimd128 -msse2)
    target_link_options(glimmora_engine_${variant} INTERFACE -msimd128)
    # Bulk memory makes the engine's copies of rows (std::memmove) one
    # memory.copy each; without it emscripten's memcpy hands every copy of
    # 512 bytes or more to JavaScript, a call that outweighs copying a gray
    # row.  Every browser with SIMD has it (page.js asks for both).  The
    # engine's own sources only: clang 14 then keeps stb_image's
    # thread_local variables (src/web) as thread-local storage, which
    # wasm-ld refuses without threads.
    target_compile_options(glimmora_engine_${variant} PRIVATE -mbulk-memory)
  endif()

  set(target glimmora_web_${variant})
  add_executable(${target} ${web_sources})
  target_link_libraries(${target} glimmora_engine_${variant})
  target_include_directories(${target} SYSTEM PRIVATE ${GLIMMORA_STB_INCLUDE_DIR})
  target_compile_options(${target} PRIVATE ${GLIMMORA_WARNINGS})
  target_link_options(${target} PRIVATE ${module_options})
  set(name glimmora)
  if(variant STREQUAL simd)
    set(name glimmora-simd)
  endif()
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${name} SUFFIX .js
                        RUNTIME_OUTPUT_DIRECTORY ${GLIMMORA_WEB_DIR})

  # The engine benchmark for node (bench/web/web_bench.sh builds it).
  add_executable(web_bench_${variant} EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/bench/web/engine_bench.cpp)
  target_link_libraries(web_bench_${variant} glimmora_engine_${variant})
  target_include_directories(web_bench_${variant} PRIVATE ${CMAKE_SOURCE_DIR}/bench)
  target_compile_options(web_bench_${variant} PRIVATE ${GLIMMORA_WARNINGS})
  target_link_options(web_bench_${variant} PRIVATE -sALLOW_MEMORY_GROWTH=1 -sMAXIMUM_MEMORY=2GB -sENVIRONMENT=node)
  set_target_properties(web_bench_${variant} PROPERTIES SUFFIX .js)
endforeach()

# The page's own files and its first picture.
file(GLOB page_files CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/web/*.html ${CMAKE_SOURCE_DIR}/src/web/*.js
     ${CMAKE_SOURCE_DIR}/src/web/*.css)
set(page_copies)
foreach(file ${page_files} ${CMAKE_SOURCE_DIR}/samples/nightfall.png)
  get_filename_component(name ${file} NAME)
  set(copy ${GLIMMORA_WEB_DIR}/${name})
  if(name STREQUAL nightfall.png)
    set(copy ${GLIMMORA_WEB_DIR}/samples/${name})
  endif()
  add_custom_command(OUTPUT ${copy} COMMAND ${CMAKE_COMMAND} -E copy ${file} ${copy} DEPENDS ${file})
  list(APPEND page_copies ${copy})
endforeach()
add_custom_target(web_page ALL DEPENDS ${page_copies})

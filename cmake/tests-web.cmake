# The web tier: the web build (cmake/web.cmake, started by cmake/native.cmake)
#
#   web.wasm      node runs both WebAssembly builds (SIMD and plain) over a
#                 table of values, sizes and centres (wasm_test.js)
#   web.browser   headless Chromium uses the served page as a person would
#                 (browser_test.mjs)
#
# Expected pixels come from web_expect, the plain reference (tests/reference)
# built natively, never from the engine under test.

if(WIN32)
  return()
endif()
if(NOT GLIMMORA_WEB_DIR)
  # One entry says why: a skip, or a failure under CI=true.
  add_test(NAME web.skipped_needs_emscripten
           COMMAND sh -c "echo 'web tier skipped: no emscripten or node (tools/setup.sh installs them)'; [ \"\$CI\" = true ] && exit 1; exit 77")
  set_tests_properties(web.skipped_needs_emscripten PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 30)
  return()
endif()

add_executable(web_expect ${CMAKE_SOURCE_DIR}/tests/web/expect.cpp ${CMAKE_SOURCE_DIR}/tests/reference/reference.cpp)
target_include_directories(web_expect PRIVATE ${CMAKE_SOURCE_DIR}/tests/reference)
target_include_directories(web_expect SYSTEM PRIVATE ${GLIMMORA_STB_INCLUDE_DIR})
target_compile_options(web_expect PRIVATE ${GLIMMORA_WARNINGS})

set(web_test_args --web ${GLIMMORA_WEB_DIR} --expect $<TARGET_FILE:web_expect> --work ${CMAKE_BINARY_DIR}/web-tests)
add_test(NAME web.wasm COMMAND ${GLIMMORA_NODE} --no-experimental-fetch ${CMAKE_SOURCE_DIR}/tests/web/wasm_test.js
                               ${web_test_args})
set_tests_properties(web.wasm PROPERTIES TIMEOUT 120)

find_program(GLIMMORA_CHROMIUM NAMES chromium chromium-browser)
if(GLIMMORA_CHROMIUM)
  add_test(NAME web.browser COMMAND ${GLIMMORA_NODE} ${CMAKE_SOURCE_DIR}/tests/web/browser_test.mjs ${web_test_args}
                                    --chromium ${GLIMMORA_CHROMIUM})
  set_tests_properties(web.browser PROPERTIES TIMEOUT 180)
else()
  message(STATUS "chromium not found (tools/setup.sh installs it): web.browser is not registered")
endif()

# The Wine test tier (included by cmake/native.cmake): the Windows test
# programs built in the 64-bit Windows build, run under Wine from CTest.
#
# One fixture sets up a fresh Wine prefix, an X display (Xvfb, when DISPLAY is
# unset) and a persistent wineserver for the whole test run, and a cleanup
# fixture stops them.  Every gtest suite is its own CTest entry, so the
# summary counts suites; a further entry fails when a program has a suite
# that is not listed here.

set(GLIMMORA_WINE_STATE ${CMAKE_BINARY_DIR}/wine)
set(GLIMMORA_WINE_ENV ${CMAKE_SOURCE_DIR}/tests/wine/env.sh)
set(GLIMMORA_PLUGIN32 ${GLIMMORA_WIN32_DIR}/GLIMMORA.8bf)
set(GLIMMORA_PLUGIN64 ${GLIMMORA_WIN64_DIR}/GLIMMORA.8bf)

add_test(NAME wine.setup COMMAND ${GLIMMORA_WINE_ENV} setup ${GLIMMORA_WINE_STATE})
set_tests_properties(wine.setup PROPERTIES FIXTURES_SETUP wine TIMEOUT 180)
add_test(NAME wine.teardown COMMAND ${GLIMMORA_WINE_ENV} teardown ${GLIMMORA_WINE_STATE})
set_tests_properties(wine.teardown PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60)

# glimmora_wine_suites(PROGRAM SUITE...): one CTest entry per suite of
# PROGRAM_tests.exe, plus the check that no suite is missing from the list.
function(glimmora_wine_suites program)
  set(exe ${GLIMMORA_WIN64_DIR}/${program}_tests.exe)
  set(args --plugin=${GLIMMORA_PLUGIN64} --plugin32=${GLIMMORA_PLUGIN32})
  foreach(suite ${ARGN})
    set(name wine.${program}.${suite})
    add_test(NAME ${name}
             COMMAND ${GLIMMORA_WINE_ENV} run ${GLIMMORA_WINE_STATE} ${name} ${exe} ${args}
                     --gtest_filter=${suite}.*:${suite}/*)
    # One Wine program at a time: a window of one program activating under
    # the shared X display takes the focus from another's dialog.
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 180 RUN_SERIAL TRUE)
  endforeach()
  string(REPLACE ";" "," listed "${ARGN}")
  set(name wine.${program}.all_suites_listed)
  add_test(NAME ${name}
           COMMAND ${GLIMMORA_WINE_ENV} run ${GLIMMORA_WINE_STATE} ${name} ${exe} --expect-suites=${listed})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 60)
endfunction()

glimmora_wine_suites(structure Headers Exports Imports Resources)
glimmora_wine_suites(e2e About Selectors Parameters Prepare Start WholeRun RunProtocol Dialog Preview
                     PreviewScreen SelectionRun FaultInjection HostMisuse RandomHost)
# The random host's 300 sessions take about a minute, more on a busy machine.
set_tests_properties(wine.e2e.RandomHost PROPERTIES ENVIRONMENT GLIMMORA_WINE_TIMEOUT=170)

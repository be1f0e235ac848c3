# Test tier "wine": the plug-in of each Windows build driven under Wine by the
# test host (tools/testhost) through the Windows test programs of
# tests/structure (the DLLs' headers, exports, imports, resources, loading)
# and tests/e2e (whole runs, the dialog, the preview, faults, misuse).
#
#   wine.*     the 64-bit programs and plug-in under the system's Wine;
#   wine32.*   the 32-bit programs and plug-in, the product itself, under the
#              32-bit Wine (tools/setup-i386.sh; emulated by qemu-i386 where
#              the kernel cannot run 32-bit programs itself).
#
# Each program is built for 32 and 64 bits and loads the plug-in of its own
# bitness.  Each Wine tier has one fixture that sets up a fresh Wine prefix,
# an X display and a persistent wineserver for the whole test run
# (tests/wine/env.sh), and a cleanup fixture that stops them.  Every gtest
# suite is a CTest entry of its own, so the summary counts suites; a further
# entry fails when a program has a suite that is not listed here.  The 64-bit
# tier starts the program once per suite; the 32-bit tier, whose program
# starts cost seconds, starts each program once and reads the suites'
# results from its report.
if(WIN32)
  # GoogleTest from the distribution's sources, built with this toolchain.
  if(NOT EXISTS ${GLIMMORA_GTEST_SOURCE_DIR}/CMakeLists.txt)
    message(FATAL_ERROR "no GoogleTest sources in GLIMMORA_GTEST_SOURCE_DIR=${GLIMMORA_GTEST_SOURCE_DIR} "
                        "(Debian: googletest)")
  endif()
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${GLIMMORA_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # The win32 thread model has no std::mutex.  GoogleTest locks with Win32
  # primitives on Windows anyway; only its Notification helper wants
  # std::mutex, so it gets one built on a Win32 event instead.
  target_compile_definitions(gtest PUBLIC GTEST_HAS_NOTIFICATION_=1)
  target_compile_options(gtest PUBLIC -include ${CMAKE_SOURCE_DIR}/tests/wine/gtest_notification.h)
  target_compile_options(gtest PRIVATE ${GLIMMORA_TEST_OPT})

  function(glimmora_wine_program name)
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${name}/*.cpp)
    add_executable(${name}_tests ${sources} ${CMAKE_SOURCE_DIR}/tests/wine/wine_main.cpp)
    target_include_directories(${name}_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/wine ${CMAKE_SOURCE_DIR}/res)
    target_link_libraries(${name}_tests PRIVATE glimmora_testhost gtest)
    target_compile_options(${name}_tests PRIVATE ${GLIMMORA_WARNINGS} ${GLIMMORA_TEST_OPT})
    target_link_options(${name}_tests PRIVATE ${GLIMMORA_STATIC_RUNTIMES})
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
  target_link_options(desktop_keeper PRIVATE ${GLIMMORA_STATIC_RUNTIMES})
  target_link_libraries(desktop_keeper PRIVATE user32)
  return()
endif()

if(NOT GLIMMORA_WINDOWS)
  message(STATUS "Wine tiers off (GLIMMORA_WINDOWS=OFF)")
  return()
endif()

# Both tiers run the same suites: add new ones to these lists.
set(GLIMMORA_STRUCTURE_SUITES Headers Exports Imports Resources Loader)
set(GLIMMORA_E2E_SUITES About Selectors Parameters Prepare Start WholeRun RunProtocol Dialog Preview PreviewScreen
                        SelectionRun FaultInjection HostMisuse RandomHost RunTable)

set(GLIMMORA_WINE_STATE ${CMAKE_BINARY_DIR}/wine)
set(GLIMMORA_WINE32_STATE ${CMAKE_BINARY_DIR}/wine32)
set(GLIMMORA_WINE_ENV ${CMAKE_SOURCE_DIR}/tests/wine/env.sh)
# The run records the two builds must agree on (the RunTable suite).
set(GLIMMORA_RECORDS ${CMAKE_BINARY_DIR}/records)
file(MAKE_DIRECTORY ${GLIMMORA_RECORDS})
set(GLIMMORA_GTEST_REPORT ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/wine/gtest_report.py)

# --- 64-bit ----------------------------------------------------------------------

add_test(NAME wine.setup COMMAND ${GLIMMORA_WINE_ENV} setup ${GLIMMORA_WINE_STATE} 64
                                    ${GLIMMORA_WIN64_DIR}/desktop_keeper.exe)
set_tests_properties(wine.setup PROPERTIES FIXTURES_SETUP wine TIMEOUT 180)
add_test(NAME wine.teardown COMMAND ${GLIMMORA_WINE_ENV} teardown ${GLIMMORA_WINE_STATE})
set_tests_properties(wine.teardown PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60)
add_test(NAME wine.runner.SilentExitIsNamed
         COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/silent_exit_test.sh ${GLIMMORA_WINE_ENV} ${GLIMMORA_WINE_STATE})
set_tests_properties(wine.runner.SilentExitIsNamed PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 60
                                                              RESOURCE_LOCK wine_display)

# glimmora_wine_suites(PROGRAM SUITE...): one CTest entry per suite of
# PROGRAM_tests.exe, plus the check that no suite is missing from the list.
function(glimmora_wine_suites program)
  set(exe ${GLIMMORA_WIN64_DIR}/${program}_tests.exe)
  set(args --plugin=${GLIMMORA_PLUGIN64} --plugin32=${GLIMMORA_PLUGIN32} --plugin64=${GLIMMORA_PLUGIN64}
           --record=${GLIMMORA_RECORDS}/${program}.64.txt)
  foreach(suite ${ARGN})
    set(name wine.${program}.${suite})
    add_test(NAME ${name}
             COMMAND ${GLIMMORA_WINE_ENV} run ${GLIMMORA_WINE_STATE} ${name} ${exe} ${args}
                     --gtest_filter=${suite}.*:${suite}/*)
    # One Wine program at a time: a window of one program activating under
    # the shared X display takes the focus from another's dialog.
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 180 RESOURCE_LOCK wine_display)
  endforeach()
  string(REPLACE ";" "," listed "${ARGN}")
  set(name wine.${program}.all_suites_listed)
  add_test(NAME ${name}
           COMMAND ${GLIMMORA_WINE_ENV} run ${GLIMMORA_WINE_STATE} ${name} ${exe} --expect-suites=${listed})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 60)
endfunction()

glimmora_wine_suites(structure ${GLIMMORA_STRUCTURE_SUITES})
glimmora_wine_suites(e2e ${GLIMMORA_E2E_SUITES})
# The random host's 300 sessions take about a minute, more on a busy machine.
set_tests_properties(wine.e2e.RandomHost PROPERTIES ENVIRONMENT GLIMMORA_WINE_TIMEOUT=170)
# The 64-bit record the 32-bit tier compares with.
set_tests_properties(wine.e2e.RunTable PROPERTIES FIXTURES_SETUP run_table_64)

# --- 32-bit ----------------------------------------------------------------------

# Whether the 32-bit runner is ready is known when CTest is configured
# (tools/test.sh sets it up, then configures).  When it is not, one entry,
# named for the cause, says why and is skipped; under CI=true it fails
# instead, unless the kernel cannot emulate at all.
execute_process(COMMAND ${CMAKE_SOURCE_DIR}/tools/setup-i386.sh status
                RESULT_VARIABLE GLIMMORA_WINE32_STATUS OUTPUT_VARIABLE GLIMMORA_WINE32_REASON ERROR_QUIET
                OUTPUT_STRIP_TRAILING_WHITESPACE)
if(GLIMMORA_WINE32_STATUS EQUAL 0)
  set(GLIMMORA_WINE32 ON)
else()
  set(GLIMMORA_WINE32 OFF)
  if(GLIMMORA_WINE32_STATUS EQUAL 2)
    set(cause no_binfmt_misc)
  elseif(GLIMMORA_WINE32_STATUS EQUAL 3)
    set(cause needs_root)
  else()
    set(cause not_set_up)
  endif()
  message(STATUS "32-bit tier skipped: ${GLIMMORA_WINE32_REASON}")
  add_test(NAME wine32.skipped_${cause} COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/wine32_skipped.sh
                                                ${CMAKE_SOURCE_DIR}/tools/setup-i386.sh)
  set_tests_properties(wine32.skipped_${cause} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 30)
endif()

if(GLIMMORA_WINE32)
  add_test(NAME wine32.setup
           COMMAND ${GLIMMORA_WINE_ENV} setup ${GLIMMORA_WINE32_STATE} 32 ${GLIMMORA_WIN32_DIR}/desktop_keeper.exe)
  set_tests_properties(wine32.setup PROPERTIES FIXTURES_SETUP wine32 TIMEOUT 300)
  add_test(NAME wine32.teardown COMMAND ${GLIMMORA_WINE_ENV} teardown ${GLIMMORA_WINE32_STATE})
  set_tests_properties(wine32.teardown PROPERTIES FIXTURES_CLEANUP wine32 TIMEOUT 60)

  # glimmora_wine32_suites(PROGRAM SUITE...): PROGRAM_tests.exe of the 32-bit
  # build started once (wine32.PROGRAM.run), then one entry per suite that
  # reports the suite's results, and the check that no suite is missing.
  function(glimmora_wine32_suites program)
    set(exe ${GLIMMORA_WIN32_DIR}/${program}_tests.exe)
    set(xml ${GLIMMORA_WINE32_STATE}/${program}.xml)
    set(run wine32.${program}.run)
    add_test(NAME ${run}
             COMMAND ${GLIMMORA_GTEST_REPORT} run ${xml} --
                     ${GLIMMORA_WINE_ENV} run ${GLIMMORA_WINE32_STATE} ${run} ${exe}
                     --plugin=${GLIMMORA_PLUGIN32} --plugin32=${GLIMMORA_PLUGIN32} --plugin64=${GLIMMORA_PLUGIN64}
                     --record=${GLIMMORA_RECORDS}/${program}.32.txt --gtest_output=xml:@XML@)
    # COST: the emulated programs are the run's longest entries; a clean
    # clone has no timings yet, so they are named to start first.
    set_tests_properties(${run} PROPERTIES FIXTURES_REQUIRED wine32 FIXTURES_SETUP wine32_${program}
                                           TIMEOUT 600 RESOURCE_LOCK wine32_display COST 100)
    foreach(suite ${ARGN})
      add_test(NAME wine32.${program}.${suite} COMMAND ${GLIMMORA_GTEST_REPORT} suite ${xml} ${suite})
      set_tests_properties(wine32.${program}.${suite} PROPERTIES FIXTURES_REQUIRED wine32_${program} TIMEOUT 30)
    endforeach()
    string(REPLACE ";" "," listed "${ARGN}")
    add_test(NAME wine32.${program}.all_suites_listed COMMAND ${GLIMMORA_GTEST_REPORT} listed ${xml} ${listed})
    set_tests_properties(wine32.${program}.all_suites_listed PROPERTIES FIXTURES_REQUIRED wine32_${program}
                                                                       TIMEOUT 30)
  endfunction()

  glimmora_wine32_suites(structure ${GLIMMORA_STRUCTURE_SUITES})
  glimmora_wine32_suites(e2e ${GLIMMORA_E2E_SUITES})
  # Under emulation a random session costs about ten times as much: the
  # 32-bit build runs the first 60 of the 64-bit build's sessions.
  set_tests_properties(wine32.e2e.run PROPERTIES ENVIRONMENT GLIMMORA_RANDOM_SESSIONS=60)

  # The table of runs gives the same bytes and the same calls in both builds.
  add_test(NAME wine32.e2e.SameAs64Bit
           COMMAND ${GLIMMORA_GTEST_REPORT} same ${GLIMMORA_RECORDS}/e2e.32.txt ${GLIMMORA_RECORDS}/e2e.64.txt)
  set_tests_properties(wine32.e2e.SameAs64Bit PROPERTIES FIXTURES_REQUIRED "wine32_e2e;run_table_64" TIMEOUT 30)
endif()

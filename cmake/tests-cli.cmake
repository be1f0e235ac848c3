# Test tier "cli": the command-line host (tools/cli).
#
#   cli.unit.*   its portable parts (options, parameter file, pixels, image
#                files, property lists, progress bar), natively, also
#                sanitized (sanitized.cli_unit_tests);
#   cli.wine.*   glimmora-host.exe from the 64-bit build run under Wine on small
#                images: options and errors, modes, selection, dialog runs, the
#                same result as the reference host's; and tools/glimmora;
#   wine32.cli.* the same groups with the 32-bit host and plug-in under the
#                32-bit Wine, and tools/glimmora --arch 32.
#
# The reference host (reference-host.exe, tests/cli/reference_host_win.cpp)
# is glimmora-host.exe driving the plug-in through the test host's run
# instead of its own buffers; the GEGL tier uses it too.
if(WIN32)
  add_executable(reference_host ${CMAKE_SOURCE_DIR}/tests/cli/reference_host_win.cpp)
  set_target_properties(reference_host PROPERTIES OUTPUT_NAME reference-host)
  target_compile_options(reference_host PRIVATE ${GLIMMORA_WARNINGS})
  target_link_libraries(reference_host PRIVATE glimmora_cli glimmora_testhost)
  target_link_options(reference_host PRIVATE ${GLIMMORA_STATIC_RUNTIMES})
  add_dependencies(reference_host glimmora)
  return()
endif()

file(GLOB GLIMMORA_CLI_PORTABLE CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/cli/*.cpp)
list(FILTER GLIMMORA_CLI_PORTABLE EXCLUDE REGEX "_win\\.cpp$")
file(GLOB GLIMMORA_CLI_UNIT_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/cli/unit/*.cpp)

# stb_image_write's JPEG coder shifts negative values, which is defined by
# GCC but reported by the undefined-behaviour sanitizer: not our code.  The
# decoder's sums wrap (-fwrapv), as in the Windows builds (image_io.cpp).
set_source_files_properties(${CMAKE_SOURCE_DIR}/tools/cli/image_io.cpp PROPERTIES COMPILE_OPTIONS
                            "-fno-sanitize=shift;-fwrapv")

foreach(variant plain sanitized)
  if(variant STREQUAL plain)
    set(target cli_unit_tests)
  else()
    set(target cli_unit_tests_sanitized)
  endif()
  add_executable(${target} ${GLIMMORA_CLI_UNIT_TESTS} ${GLIMMORA_CLI_PORTABLE})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tools ${CMAKE_SOURCE_DIR}/src)
  target_include_directories(${target} SYSTEM PRIVATE ${GLIMMORA_STB_INCLUDE_DIR})
  target_compile_options(${target} PRIVATE ${GLIMMORA_WARNINGS})
  target_link_libraries(${target} GTest::gtest_main)
  target_precompile_headers(${target} PRIVATE ${GLIMMORA_TEST_PCH})
  if(variant STREQUAL sanitized)
    glimmora_sanitize(${target})
    add_test(NAME sanitized.cli_unit_tests COMMAND ${target})
  else()
    gtest_discover_tests(${target} TEST_PREFIX "cli.unit." DISCOVERY_TIMEOUT 60)
  endif()
endforeach()

if(DEFINED GLIMMORA_WINE_STATE)
  set(cli_driver ${CMAKE_SOURCE_DIR}/tests/cli/cli_test.py)
  set(GLIMMORA_CLI_GROUPS Options Errors Modes Selection SameAsTestHost Dialog)
  set(cli_args --env ${GLIMMORA_WINE_ENV} --state ${GLIMMORA_WINE_STATE}
               --host ${GLIMMORA_WIN64_DIR}/glimmora-host.exe
               --reference-host ${GLIMMORA_WIN64_DIR}/reference-host.exe --plugin ${GLIMMORA_PLUGIN64}
               --other-plugin ${GLIMMORA_PLUGIN32} --work ${CMAKE_BINARY_DIR}/cli-tests --version ${PROJECT_VERSION})
  foreach(group ${GLIMMORA_CLI_GROUPS})
    add_test(NAME cli.wine.${group} COMMAND ${Python3_EXECUTABLE} ${cli_driver} ${cli_args} ${group})
    # One Wine program at a time on the tier's display, as in the rest of it.
    set_tests_properties(cli.wine.${group} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 120 RESOURCE_LOCK wine_display)
  endforeach()
  # The launcher sets up a Wine prefix and display of its own, so it needs no fixture.
  add_test(NAME cli.launcher COMMAND ${Python3_EXECUTABLE} ${cli_driver} ${cli_args} Launcher)
  set_tests_properties(cli.launcher PROPERTIES TIMEOUT 180 RESOURCE_LOCK launcher)

  if(GLIMMORA_WINE32)
    # The 32-bit host gets a Wine environment of its own (prefix, server,
    # display), so that its many program starts run beside the 32-bit test
    # programs on the other core.
    set(cli32_state ${CMAKE_BINARY_DIR}/wine32-cli)
    add_test(NAME wine32.cli.setup
             COMMAND ${GLIMMORA_WINE_ENV} setup ${cli32_state} 32 ${GLIMMORA_WIN32_DIR}/desktop_keeper.exe)
    # After the tier's own set-up, so that a machine's first run makes the
    # 32-bit prefix once (half a minute, emulated) and this one starts from
    # the copy it keeps.
    set_tests_properties(wine32.cli.setup PROPERTIES FIXTURES_SETUP wine32_cli TIMEOUT 300 DEPENDS wine32.setup)
    add_test(NAME wine32.cli.teardown COMMAND ${GLIMMORA_WINE_ENV} teardown ${cli32_state})
    set_tests_properties(wine32.cli.teardown PROPERTIES FIXTURES_CLEANUP wine32_cli TIMEOUT 60)
    set(cli32_args --env ${GLIMMORA_WINE_ENV} --state ${cli32_state} --bits 32
                   --host ${GLIMMORA_WIN32_DIR}/glimmora-host.exe
                   --reference-host ${GLIMMORA_WIN32_DIR}/reference-host.exe --plugin ${GLIMMORA_PLUGIN32}
                   --other-plugin ${GLIMMORA_PLUGIN64} --work ${CMAKE_BINARY_DIR}/cli-tests-32
                   --version ${PROJECT_VERSION})
    foreach(group ${GLIMMORA_CLI_GROUPS})
      add_test(NAME wine32.cli.${group} COMMAND ${Python3_EXECUTABLE} ${cli_driver} ${cli32_args} ${group})
      set_tests_properties(wine32.cli.${group} PROPERTIES FIXTURES_REQUIRED wine32_cli TIMEOUT 600
                                                          RESOURCE_LOCK wine32_cli_display COST 20)
    endforeach()
    add_test(NAME wine32.cli.Launcher COMMAND ${Python3_EXECUTABLE} ${cli_driver} ${cli32_args} Launcher)
    # After the tier's set-up, whose kept prefix the launcher's new one copies.
    set_tests_properties(wine32.cli.Launcher PROPERTIES TIMEOUT 600 RESOURCE_LOCK launcher DEPENDS wine32.setup)
  endif()
endif()

# The fuzz tier: a libFuzzer harness for every parser of untrusted input --
# the command line and parameter file, the dialog script, the PiPL reader,
# image files, and the plug-in's stored record through run planning to row
# shading.  They are built by clang in a build of their own (build/fuzz,
# cmake/fuzz.cmake) and run as fuzz.<name>
# for a bounded time each, from the seeds in tests/fuzz/seeds/<name>; a crash
# fails the entry and prints the input.  tools/fuzz.sh NAME [SECONDS] runs one
# for longer.

if(WIN32)
  return()
endif()

set(GLIMMORA_FUZZ_HARNESSES command_line dialog_script pipl image record)
# Five entries of 8 s each (the checked-in seeds and the regression inputs
# among them first, then new inputs), two at a time beside the other tiers:
# well under a minute of the run.  Long runs are tools/fuzz.sh's.
set(GLIMMORA_FUZZ_SECONDS 8)

# libFuzzer needs clang and its runtime, Debian's clang and libclang-rt-14-dev.
find_program(GLIMMORA_CLANGXX NAMES clang++ clang++-14)
set(fuzz_missing "")
if(NOT GLIMMORA_CLANGXX)
  set(fuzz_missing "no clang++ (Debian's clang)")
else()
  set(probe ${CMAKE_BINARY_DIR}/fuzz-probe)
  file(WRITE ${probe}/probe.cpp "extern \"C\" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n")
  execute_process(COMMAND ${GLIMMORA_CLANGXX} -fsanitize=fuzzer,address,undefined probe.cpp -o probe
                  WORKING_DIRECTORY ${probe} RESULT_VARIABLE probe_result OUTPUT_QUIET ERROR_QUIET)
  if(NOT probe_result EQUAL 0)
    set(fuzz_missing "${GLIMMORA_CLANGXX} cannot link libFuzzer with the sanitizers (Debian's libclang-rt-14-dev)")
  endif()
endif()

if(fuzz_missing)
  message(WARNING "Fuzz tier skipped: ${fuzz_missing}.  tools/setup.sh installs what it needs.")
  # One entry says why: a skip, or a failure under CI=true.
  add_test(NAME fuzz.skipped_needs_clang_fuzzer
           COMMAND sh -c "echo \"fuzz tier skipped: \$1\"; [ \"\$CI\" = true ] && exit 1; exit 77" sh "${fuzz_missing}")
  set_tests_properties(fuzz.skipped_needs_clang_fuzzer PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 30)
  return()
endif()

include(ExternalProject)
ExternalProject_Add(fuzz_harnesses
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${CMAKE_BINARY_DIR}/fuzz
  CMAKE_ARGS -DCMAKE_CXX_COMPILER=${GLIMMORA_CLANGXX} -DGLIMMORA_FUZZ=ON
             -DGLIMMORA_STB_INCLUDE_DIR=${GLIMMORA_STB_INCLUDE_DIR}
  BUILD_ALWAYS 1
  INSTALL_COMMAND "")
foreach(name ${GLIMMORA_FUZZ_HARNESSES})
  add_test(NAME fuzz.${name} COMMAND ${CMAKE_SOURCE_DIR}/tools/fuzz.sh ${name} ${GLIMMORA_FUZZ_SECONDS})
  # Each CTest run starts from the seeds alone, so its inputs follow from the
  # fixed seed.
  set_tests_properties(fuzz.${name} PROPERTIES TIMEOUT 120
                       ENVIRONMENT "GLIMMORA_FUZZ_DIR=${CMAKE_BINARY_DIR}/fuzz;GLIMMORA_FUZZ_FRESH=1")
endforeach()

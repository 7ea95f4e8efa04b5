# korvane_add_fuzzer(<name> SOURCES <file>... LIBRARIES <lib>... CORPUS <dir> [RUNS <n>])
# Builds a libFuzzer target when the build uses clang with AddressSanitizer and
# registers a short run over the committed seed corpus as a CTest test with
# the label "fuzz". Elsewhere it does nothing.
include_guard(GLOBAL)

function(korvane_add_fuzzer name)
  cmake_parse_arguments(ARG "" "CORPUS;RUNS" "SOURCES;LIBRARIES" ${ARGN})
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang" OR NOT KORVANE_SANITIZE STREQUAL "address")
    return()
  endif()
  if(NOT ARG_RUNS)
    set(ARG_RUNS 100000)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES})
  # New inputs go to a scratch directory, never into the committed corpus.
  set(scratch "${CMAKE_CURRENT_BINARY_DIR}/${name}_corpus")
  add_test(NAME ${name}
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
      sh -c "mkdir -p '${scratch}' && exec \"$0\" -runs=${ARG_RUNS} -max_len=4096 -seed=1 '${scratch}' '${ARG_CORPUS}'"
      $<TARGET_FILE:${name}>)
  set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT 600)
endfunction()

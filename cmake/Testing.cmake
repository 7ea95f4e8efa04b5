# GoogleTest, built from Debian's sources so that sanitizer builds instrument it too.
include(CTest)
if(BUILD_TESTING)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)
endif()

# Under AddressSanitizer, a test that runs GTK programs leaves GTK's
# process-long caches out of the leak report (cmake/leak_suppressions.txt);
# full stacks make those suppressions match only the libraries' frames.
function(korvane_leave_gtk_caches_out_of_leak_reports test)
  if(KORVANE_SANITIZE STREQUAL "address")
    set_tests_properties(${test} PROPERTIES ENVIRONMENT_MODIFICATION
      "ASAN_OPTIONS=string_append::fast_unwind_on_malloc=0;LSAN_OPTIONS=set:suppressions=${PROJECT_SOURCE_DIR}/cmake/leak_suppressions.txt")
  endif()
endfunction()

# korvane_add_test(<name> [NEEDS_DISPLAY] LABELS <tier>... SOURCES <file>...
#                  LIBRARIES <lib>... [RUN_INSIDE <command>...])
# One GoogleTest binary, registered with CTest under the given tier labels.
# RUN_INSIDE starts it as the last argument of a command that sets up its
# surroundings first (a private session bus, a namespace).
# NEEDS_DISPLAY runs it on a private Xvfb server; such tests take turns,
# because xvfb-run instances started together can pick the same display.
# -noreset: a server that resets when its last client leaves refuses the
# connections that arrive meanwhile, as a test's next window or program does.
function(korvane_add_test name)
  cmake_parse_arguments(ARG "NEEDS_DISPLAY" "" "LABELS;SOURCES;LIBRARIES;RUN_INSIDE" ${ARGN})
  if(NOT BUILD_TESTING)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gmock)
  if(ARG_NEEDS_DISPLAY)
    add_test(NAME ${name} COMMAND xvfb-run --auto-servernum
      "--server-args=-noreset -screen 0 1280x1024x24" $<TARGET_FILE:${name}>)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK xvfb)
    korvane_leave_gtk_caches_out_of_leak_reports(${name})
  else()
    add_test(NAME ${name} COMMAND ${ARG_RUN_INSIDE} $<TARGET_FILE:${name}>)
  endif()
  if(KORVANE_SANITIZE STREQUAL "thread")
    set_tests_properties(${name} PROPERTIES ENVIRONMENT_MODIFICATION
      "TSAN_OPTIONS=string_append::suppressions=${PROJECT_SOURCE_DIR}/cmake/tsan_suppressions.txt")
  endif()
  set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT 300)
endfunction()

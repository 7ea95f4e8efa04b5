# Warnings and sanitizers for every target of the project.
add_compile_options(-Wall -Wextra)
if(KORVANE_WARNINGS_AS_ERRORS)
  add_compile_options(-Werror)
endif()

if(KORVANE_SANITIZE STREQUAL "address")
  set(KORVANE_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all
      -fno-omit-frame-pointer)
elseif(KORVANE_SANITIZE STREQUAL "thread")
  set(KORVANE_SANITIZER_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
elseif(NOT KORVANE_SANITIZE STREQUAL "")
  message(FATAL_ERROR "KORVANE_SANITIZE must be empty, 'address' or 'thread'")
endif()
if(KORVANE_SANITIZER_FLAGS)
  add_compile_options(${KORVANE_SANITIZER_FLAGS})
  add_link_options(${KORVANE_SANITIZER_FLAGS})
endif()

# The fuzz targets of the ASan build need coverage feedback from all the code
# they reach, not only from their own source file.
if(KORVANE_SANITIZE STREQUAL "address" AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

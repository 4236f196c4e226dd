# One interface target carries the language standard and the warning policy;
# every target of the project links it.
add_library(qm_build_flags INTERFACE)
target_compile_features(qm_build_flags INTERFACE cxx_std_20)
target_compile_options(qm_build_flags INTERFACE -Wall -Wextra -Werror)
target_include_directories(qm_build_flags INTERFACE ${PROJECT_SOURCE_DIR})

set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)

set(QM_SANITIZE "" CACHE STRING "Sanitizers: empty, asan, tsan or fuzz")
if(QM_SANITIZE STREQUAL "asan")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(QM_SANITIZE STREQUAL "tsan")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(QM_SANITIZE STREQUAL "fuzz")
  # Everything is instrumented for coverage; only the fuzz targets link the
  # fuzzer's main (fuzz/CMakeLists.txt).
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined
                      -fsanitize-coverage-ignorelist=${PROJECT_SOURCE_DIR}/fuzz/coverage_ignorelist.txt)
  add_link_options(-fsanitize=address,undefined)
endif()

# The sanitizer runtime a preloaded library needs in front of it when a test runs
# an uninstrumented program under the socket host.
set(QM_SANITIZER_RUNTIME "")
if(QM_SANITIZE STREQUAL "asan" OR QM_SANITIZE STREQUAL "tsan")
  if(QM_SANITIZE STREQUAL "asan")
    set(_qm_runtime libasan.so)
  else()
    set(_qm_runtime libtsan.so)
  endif()
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${_qm_runtime}
                  OUTPUT_VARIABLE QM_SANITIZER_RUNTIME OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()

# Helpers shared by the test, fuzz and benchmark folders.
find_package(GTest REQUIRED)
include(GoogleTest)

# One test executable per folder: umbra_add_test_folder(name SOURCES... LIBS...)
function(umbra_add_test_folder name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE UMBRA_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
endfunction()

# A libFuzzer target that also runs as a short bounded CTest case over its seed corpus.
function(umbra_add_fuzzer name)
  cmake_parse_arguments(ARG "" "SEEDS;SECONDS" "SOURCES;LIBS" ${ARGN})
  if(NOT UMBRA_FUZZ)
    return()
  endif()
  if(NOT ARG_SECONDS)
    set(ARG_SECONDS 20)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  set(corpus ${CMAKE_CURRENT_BINARY_DIR}/${name}-corpus)
  add_test(NAME ${name}
           COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
                   $<TARGET_FILE:${name}> -max_total_time=${ARG_SECONDS} -timeout=10
                   -rss_limit_mb=2048 ${corpus} ${ARG_SEEDS})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300 LABELS fuzz
                       FIXTURES_REQUIRED ${name}-corpus)
  add_test(NAME ${name}-corpus COMMAND ${CMAKE_COMMAND} -E make_directory ${corpus})
  set_tests_properties(${name}-corpus PROPERTIES FIXTURES_SETUP ${name}-corpus)
endfunction()

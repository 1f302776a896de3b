# Test helpers shared by every tests/<area>/CMakeLists.txt.
#
# strivon_add_test(NAME <target> SOURCES ... LIBS ... LABELS ...
#                  [SANITIZE address thread] [TIMEOUT s] [RUN_SERIAL]
#                  [CASES <suffix>=<gtest filter> ...] [COST n])
#   A GoogleTest executable registered with CTest as one test. In a sanitizer
#   build only tests that list that sanitizer under SANITIZE are built, so
#   scripts/test can re-run just the threaded and buffer-handling code.
#   With CASES, each filter is a CTest test of its own, <target>_<suffix>,
#   so that long cases run side by side; COST makes ctest start them early.
# strivon_add_fuzzer(NAME <target> SOURCES ... LIBS ... [SEEDS <folder>] [DICT <file>])
#   A libFuzzer target, built only when STRIVON_FUZZ is on, run by CTest for
#   STRIVON_FUZZ_SECONDS with label "fuzz". The run starts from the seed
#   inputs kept in the tree (read, never written) and uses the dictionary.
# strivon_register_test(<name> <command> [args...])
#   add_test through tests/support/in_private_folders.sh, so the test's home,
#   XDG folders and TMPDIR are its own and removed after it. Every CTest test
#   of the tree is registered this way; <command> may name a target.
find_package(GTest REQUIRED)
add_custom_target(strivon_tests)

function(strivon_register_test name command)
  if(TARGET ${command})
    set(command $<TARGET_FILE:${command}>)
  endif()
  add_test(NAME ${name} COMMAND ${PROJECT_SOURCE_DIR}/tests/support/in_private_folders.sh ${command} ${ARGN})
endfunction()

function(strivon_add_test)
  cmake_parse_arguments(T "RUN_SERIAL" "NAME;TIMEOUT;COST" "SOURCES;LIBS;LABELS;SANITIZE;CASES" ${ARGN})
  if(STRIVON_FUZZ)
    return()
  endif()
  if(STRIVON_SANITIZE AND NOT STRIVON_SANITIZE IN_LIST T_SANITIZE)
    return()
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR})
  add_dependencies(strivon_tests ${T_NAME})
  set(tests)
  if(T_CASES)
    foreach(case IN LISTS T_CASES)
      string(REGEX REPLACE "=.*" "" suffix "${case}")
      string(REGEX REPLACE "^[^=]*=" "" filter "${case}")
      strivon_register_test(${T_NAME}_${suffix} ${T_NAME} --gtest_filter=${filter})
      list(APPEND tests ${T_NAME}_${suffix})
    endforeach()
  else()
    strivon_register_test(${T_NAME} ${T_NAME})
    set(tests ${T_NAME})
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${tests} PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "STRIVON_SOURCE_DIR=${PROJECT_SOURCE_DIR};STRIVON_BINARY_DIR=${PROJECT_BINARY_DIR}")
  if(T_RUN_SERIAL)
    set_tests_properties(${tests} PROPERTIES RUN_SERIAL TRUE)
  endif()
  if(T_COST)
    set_tests_properties(${tests} PROPERTIES COST ${T_COST})
  endif()
endfunction()

function(strivon_add_fuzzer)
  cmake_parse_arguments(F "" "NAME;SEEDS;DICT" "SOURCES;LIBS" ${ARGN})
  if(NOT STRIVON_FUZZ)
    return()
  endif()
  add_executable(${F_NAME} ${F_SOURCES})
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS} Threads::Threads)
  target_include_directories(${F_NAME} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
  add_dependencies(strivon_tests ${F_NAME})
  set(corpus ${CMAKE_CURRENT_BINARY_DIR}/${F_NAME}-corpus)
  file(MAKE_DIRECTORY ${corpus})
  set(options -max_total_time=${STRIVON_FUZZ_SECONDS} -rss_limit_mb=2048 -timeout=10)
  if(F_DICT)
    list(APPEND options -dict=${F_DICT})
  endif()
  # New inputs go to the first folder only, so the seeds stay as committed.
  set(corpora ${corpus})
  if(F_SEEDS)
    list(APPEND corpora ${F_SEEDS})
  endif()
  strivon_register_test(${F_NAME} ${F_NAME} ${options} ${corpora})
  math(EXPR fuzz_timeout "${STRIVON_FUZZ_SECONDS} + 120")
  set_tests_properties(${F_NAME} PROPERTIES LABELS fuzz TIMEOUT ${fuzz_timeout})
endfunction()

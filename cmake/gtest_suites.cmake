# Registers each test suite (all tests of one fixture) of a GoogleTest program as one
# CTest test, run in one process: the window tests of a fixture then share one start of
# GTK and of the web engine's processes, which costs more than most tests themselves.
# Run after each build of the program (cmake -P):
#   -D PROGRAM=<test program> -D OUTPUT=<file for TEST_INCLUDE_FILES>
#   -D PROPERTIES=<properties of every test, ';'-separated> -D SECONDS_PER_TEST=<n>
execute_process(COMMAND "${PROGRAM}" --gtest_list_tests
                OUTPUT_VARIABLE listing RESULT_VARIABLE failed TIMEOUT 120)
if(failed)
  message(FATAL_ERROR "${PROGRAM} --gtest_list_tests failed: ${failed}")
endif()
string(REPLACE ";" "\\;" listing "${listing}")
string(REPLACE "\n" ";" lines "${listing}")
set(suites "")
foreach(line IN LISTS lines)
  if(line MATCHES "^([A-Za-z0-9_]+)\\.")
    set(suite "${CMAKE_MATCH_1}")
    list(APPEND suites "${suite}")
    set(count_${suite} 0)
  elseif(line MATCHES "^  [A-Za-z0-9_]" AND suite)
    math(EXPR count_${suite} "${count_${suite}} + 1")
  endif()
endforeach()
set(script "")
foreach(suite IN LISTS suites)
  # Longest first on a fresh build (CTest has no timings yet): the cost is the test count.
  math(EXPR limit "240 + ${SECONDS_PER_TEST} * ${count_${suite}}")
  string(APPEND script "add_test([=[${suite}]=] \"${PROGRAM}\" [=[--gtest_filter=${suite}.*]=])\n"
         "set_tests_properties([=[${suite}]=] PROPERTIES ${PROPERTIES} TIMEOUT ${limit} COST ${count_${suite}})\n")
endforeach()
file(WRITE "${OUTPUT}" "${script}")

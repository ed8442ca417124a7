# Counts the instructions PROGRAM executes under callgrind and fails above BUDGET.
execute_process(COMMAND ${VALGRIND} --tool=callgrind --callgrind-out-file=/dev/null ${PROGRAM}
                OUTPUT_QUIET ERROR_VARIABLE report RESULT_VARIABLE result)
string(REGEX MATCH "Collected : ([0-9]+)" collected "${report}")
if(NOT result EQUAL 0 OR NOT collected)
  message(FATAL_ERROR "callgrind failed (${result}):\n${report}")
endif()
message(STATUS "instructions: ${CMAKE_MATCH_1} (budget ${BUDGET})")
if(CMAKE_MATCH_1 GREATER BUDGET)
  message(FATAL_ERROR "${CMAKE_MATCH_1} instructions exceed the budget of ${BUDGET}")
endif()

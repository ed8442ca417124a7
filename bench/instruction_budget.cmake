# Runs PROGRAM on DRIVER under callgrind; fails unless it prints OUTPUT and executes at most
# BUDGET instructions.
execute_process(COMMAND ${VALGRIND} --tool=callgrind --callgrind-out-file=/dev/null
                        ${DRIVER} ${PROGRAM}
                OUTPUT_VARIABLE printed ERROR_VARIABLE report RESULT_VARIABLE result)
string(REGEX MATCH "Collected : ([0-9]+)" collected "${report}")
if(NOT result EQUAL 0 OR NOT collected)
  message(FATAL_ERROR "callgrind failed (${result}):\n${report}")
endif()
set(instructions ${CMAKE_MATCH_1})
if(NOT printed STREQUAL "${OUTPUT}\n")
  message(FATAL_ERROR "${PROGRAM} printed '${printed}', not '${OUTPUT}'")
endif()
message(STATUS "${PROGRAM}: ${instructions} instructions (budget ${BUDGET})")
if(instructions GREATER BUDGET)
  message(FATAL_ERROR "${instructions} instructions exceed the budget of ${BUDGET}")
endif()

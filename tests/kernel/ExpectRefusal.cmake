# Runs PROGRAM with the |-separated ARGS and passes when it ends with a
# non-zero status and its output (standard output and error together)
# matches the regular expression EXPECT: a refusal must say why and must
# not end as a success.
string(REPLACE "|" ";" ARGS "${ARGS}")
execute_process(COMMAND ${PROGRAM} ${ARGS} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err
                TIMEOUT 20)
set(text "${out}${err}")
if(status EQUAL 0)
  message(FATAL_ERROR "expected a refusal, but the program ended with status 0:\n${text}")
endif()
if(NOT text MATCHES "${EXPECT}")
  message(FATAL_ERROR "status ${status}, but the output does not match '${EXPECT}':\n${text}")
endif()
message(STATUS "refused with status ${status}")

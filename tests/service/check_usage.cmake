# Runs PROGRAM with the list ARGS and checks that it exits with 2 and prints
# its usage on standard error, and nothing on standard output.
execute_process(COMMAND "${PROGRAM}" ${ARGS}
  RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 20)
if(NOT code EQUAL 2)
  message(FATAL_ERROR "exit code ${code}, expected 2")
endif()
if(NOT err MATCHES "^usage: quillmark-logo-service")
  message(FATAL_ERROR "no usage on standard error: ${err}")
endif()
if(NOT out STREQUAL "")
  message(FATAL_ERROR "unexpected standard output: ${out}")
endif()

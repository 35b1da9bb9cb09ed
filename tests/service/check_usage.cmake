# Runs PROGRAM with the arguments ARGS (joined by "|"; an empty element is an
# empty argument) and checks that it exits with 2 and prints its usage on
# standard error, and nothing on standard output.
#
# Each argument is written into the call as a bracket argument, because an
# unquoted list expansion would drop the empty ones.
string(REPLACE "|" ";" args "${ARGS}")
set(quoted "")
foreach(arg IN LISTS args)
  string(APPEND quoted " [==[${arg}]==]")
endforeach()
cmake_language(EVAL CODE
  "execute_process(COMMAND [==[${PROGRAM}]==]${quoted}
     RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 20)")
if(NOT code EQUAL 2)
  message(FATAL_ERROR "exit code ${code}, expected 2 (arguments:${quoted})")
endif()
if(NOT err MATCHES "^usage: quillmark-logo-service")
  message(FATAL_ERROR "no usage on standard error: ${err}")
endif()
if(NOT out STREQUAL "")
  message(FATAL_ERROR "unexpected standard output: ${out}")
endif()

# SPDX-License-Identifier: BSD-2-Clause-Patent
# Runs one ec_run command line and checks its exit status and output.
#   -DPROGRAM=path -DARGS="a|b|c" -DSTATUS=regex -DOUTPUT=regex
#   [-DONE_LINE=1: all output is one line on stderr]
#   [-DEC_IMAGE_FILE=path: write a 128 KiB EC image there first]
#   [-DPREPARE="cmd|arg|...": run this first]
#   [-DABSENT=path: this file must not exist afterwards (it is removed first)]
if(DEFINED PREPARE)
  string(REPLACE "|" ";" prepare "${PREPARE}")
  execute_process(COMMAND ${prepare} RESULT_VARIABLE prepared)
  if(NOT prepared EQUAL 0)
    message(FATAL_ERROR "${PREPARE}: exit status ${prepared}")
  endif()
endif()
if(DEFINED ABSENT)
  file(REMOVE "${ABSENT}")
endif()
if(DEFINED EC_IMAGE_FILE)
  string(REPEAT "A" 131072 image)
  file(WRITE "${EC_IMAGE_FILE}" "${image}")
endif()
string(REPLACE "|" ";" args "${ARGS}")
execute_process(COMMAND "${PROGRAM}" ${args}
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status MATCHES "^(${STATUS})$")
  message(FATAL_ERROR "ec_run ${args}: exit status ${status}, wanted ${STATUS}\n${out}${err}")
endif()
if(NOT "${out}${err}" MATCHES "${OUTPUT}")
  message(FATAL_ERROR "ec_run ${args}: output does not match '${OUTPUT}'\n${out}${err}")
endif()
if(ONE_LINE)
  string(REGEX MATCHALL "\n" line_ends "${err}")
  list(LENGTH line_ends lines)
  if(NOT out STREQUAL "" OR NOT lines EQUAL 1 OR NOT err MATCHES "\n$")
    message(FATAL_ERROR "ec_run ${args}: wanted one line on stderr, got:\n${out}${err}")
  endif()
endif()
if(DEFINED ABSENT AND EXISTS "${ABSENT}")
  message(FATAL_ERROR "ec_run ${args}: left ${ABSENT} behind")
endif()

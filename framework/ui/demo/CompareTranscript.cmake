# Runs uidemo under the scripted back end and compares its transcript with
# the golden one. Arguments: UIDEMO, SCRIPT, GOLDEN.
set(ENV{KAVO_UI_SCRIPT} "${SCRIPT}")
unset(ENV{KAVO_UI_TRANSCRIPT})
unset(ENV{KAVO_OS_VERSION})
execute_process(
  COMMAND "${UIDEMO}"
  INPUT_FILE /dev/null
  OUTPUT_VARIABLE transcript
  ERROR_VARIABLE errors
  RESULT_VARIABLE status)
file(READ "${GOLDEN}" golden)
if(NOT transcript STREQUAL golden)
  string(RANDOM LENGTH 8 tag)
  set(actual "${CMAKE_CURRENT_BINARY_DIR}/uidemo-transcript-${tag}.txt")
  file(WRITE "${actual}" "${transcript}")
  execute_process(COMMAND diff -u "${GOLDEN}" "${actual}")
  file(REMOVE "${actual}")
  message(FATAL_ERROR "the transcript differs from ${GOLDEN}")
endif()
if(NOT status EQUAL 0)
  message(FATAL_ERROR "uidemo exited with ${status}: ${errors}")
endif()

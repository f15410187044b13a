# Runs uidemo with standard input from /dev/null and its output into a
# pipe, so that the automatic back end answers. Argument: UIDEMO.
unset(ENV{KAVO_UI_SCRIPT})
unset(ENV{KAVO_UI_TRANSCRIPT})
execute_process(
  COMMAND "${UIDEMO}" --tick 50
  INPUT_FILE /dev/null
  OUTPUT_VARIABLE output
  ERROR_VARIABLE echoed
  RESULT_VARIABLE status
  TIMEOUT 30)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "uidemo exited with ${status}: ${echoed}")
endif()
foreach(expected
    "[UI demo] Shall we walk through the demo? -> Yes"
    "[Choose a folder] no folder chosen"
    "The work is complete. -> OK")
  string(FIND "${echoed}" "${expected}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "missing \"${expected}\" in:\n${echoed}")
  endif()
endforeach()

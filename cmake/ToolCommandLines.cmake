# One test over the tools' command lines: --help, -h and an unknown option.
set(kavo_argument_tools k2xdb k2demo k2handover xpimage dcfobj k2bench setup-verify msirun uidemo)
set(kavo_argument_paths "")
foreach(tool IN LISTS kavo_argument_tools)
  list(APPEND kavo_argument_paths $<TARGET_FILE:${tool}>)
endforeach()
add_test(NAME ToolCommandLines
  COMMAND ${CMAKE_COMMAND} "-DTOOLS=${kavo_argument_paths}" -P ${CMAKE_CURRENT_LIST_DIR}/CheckToolCommandLine.cmake)
set_tests_properties(ToolCommandLines PROPERTIES LABELS "platform;tools")

# Writes what the built tool prints for its arguments into a file: the man page and the shell
# completions are the tool's own output, made from its command table.
#   cmake -DTOOL=... -DARGUMENTS="--completion;bash" -DOUTPUT=... -P ToolText.cmake
execute_process(COMMAND ${TOOL} ${ARGUMENTS} OUTPUT_FILE ${OUTPUT}.part RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE ${OUTPUT}.part)
  message(FATAL_ERROR "${TOOL} ${ARGUMENTS} failed: ${status}")
endif()
file(RENAME ${OUTPUT}.part ${OUTPUT})

# Puts tavi-cli's command list, as tavi-cli --print-man-commands writes it, into its man page in
# place of @TAVI_CLI_COMMANDS@.
#   cmake -DPAGE=tavi-cli.1.in -DCOMMANDS=tavi-cli.commands -DOUT=tavi-cli.1 -P insert_man_commands.cmake
file(READ "${PAGE}" page)
file(READ "${COMMANDS}" commands)
string(FIND "${page}" "@TAVI_CLI_COMMANDS@\n" at)
if(at EQUAL -1 OR commands STREQUAL "")
  message(FATAL_ERROR "${PAGE} has no place for the command list, or ${COMMANDS} is empty")
endif()
string(REPLACE "@TAVI_CLI_COMMANDS@\n" "${commands}" page "${page}")
file(WRITE "${OUT}" "${page}")

# Puts tavi-cli's command list, as tavi-cli --print-man-commands writes it, into its man page in
# place of @TAVI_CLI_COMMANDS@ (or another text made at build time in place of @PLACE@ on a
# line of its own: the metainfo's modaliases).
#   cmake -DPAGE=tavi-cli.1.in -DCOMMANDS=tavi-cli.commands -DOUT=tavi-cli.1 -P insert_man_commands.cmake
if(NOT PLACE)
  set(PLACE TAVI_CLI_COMMANDS)
endif()
file(READ "${PAGE}" page)
file(READ "${COMMANDS}" commands)
string(REGEX REPLACE "[ ]*@${PLACE}@\n" "@${PLACE}@\n" page "${page}")
string(FIND "${page}" "@${PLACE}@\n" at)
if(at EQUAL -1 OR commands STREQUAL "")
  message(FATAL_ERROR "${PAGE} has no place for the command list, or ${COMMANDS} is empty")
endif()
string(REPLACE "@${PLACE}@\n" "${commands}" page "${page}")
file(WRITE "${OUT}" "${page}")

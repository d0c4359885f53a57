# Test fixtures of the Windows build, included from tests/CMakeLists.txt.

# One Wine server for the whole run (the programs' tests require the fixture).
set(wine_prefix ${CMAKE_BINARY_DIR}/wine-prefix)
add_test(NAME WineServerStart COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows/wine_server.sh start ${wine_prefix})
add_test(NAME WineServerStop COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows/wine_server.sh stop ${wine_prefix})
set_tests_properties(WineServerStart PROPERTIES FIXTURES_SETUP wine_server)
set_tests_properties(WineServerStop PROPERTIES FIXTURES_CLEANUP wine_server)

# tavi-cli.exe end to end: every test program of the Linux build's tests/cli, with their virtual
# printers, running this build's tavi-cli.exe through Wine instead of the Linux tavi-cli. One
# definition of every rule: the same test sources check both programs. A case that rests on what
# Windows has no counterpart of (FIFOs, /dev/zero) skips itself under TAVI_CLI_WINDOWS=1. Wine
# reads the arguments and spells file names in the locale's character set: UTF-8 here, as names
# in any script need.
set(TAVI_LINUX_BUILD "" CACHE PATH "A Linux build of this tree whose tavi-cli tests run tavi-cli.exe")
if(TAVI_LINUX_BUILD AND TARGET tavi-cli)
  set(cli_command "'${CMAKE_SOURCE_DIR}/cmake/wine-run.sh' '${wine_prefix}' '$<TARGET_FILE:tavi-cli>'")
  set(linux_tests ${TAVI_LINUX_BUILD}/tests)
  file(GLOB cli_test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/cli/*_test.cpp)
  foreach(source ${cli_test_sources})
    get_filename_component(name ${source} NAME_WE)
    string(REGEX REPLACE "_test$" "" name ${name})
    add_test(NAME CliExe.${name}
      COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows/run_linux_test.sh ${linux_tests}/test_cli_${name})
    set_tests_properties(CliExe.${name} PROPERTIES
      ENVIRONMENT "TAVI_CLI_COMMAND=${cli_command};TAVI_CLI_WINDOWS=1;TAVI_BIN_DIR=${TAVI_LINUX_BUILD}/bin;LC_ALL=C.UTF-8"
      FIXTURES_REQUIRED wine_server LABELS "windows;cli" TIMEOUT 600)
  endforeach()
  # The command table's one-source check takes one program: tavi-cli.exe through Wine.
  set(cli_wrapper ${CMAKE_BINARY_DIR}/tavi-cli-under-wine.sh)
  file(GENERATE OUTPUT ${cli_wrapper}
       CONTENT "#!/bin/sh\nexec ${cli_command} \"$@\"\n"
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                        WORLD_READ WORLD_EXECUTE)
  add_test(NAME CliExe.CommandTableIsTheOneSource
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/cli/cli_registry_test.sh ${cli_wrapper})
  set_tests_properties(CliExe.CommandTableIsTheOneSource PROPERTIES
    FIXTURES_REQUIRED wine_server LABELS "windows;cli" TIMEOUT 120)
endif()

# Test fixtures of the Windows build, included from tests/CMakeLists.txt.

# One Wine server for the whole run (the programs' tests require the fixture).
set(wine_prefix ${CMAKE_BINARY_DIR}/wine-prefix)
add_test(NAME WineServerStart COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows/wine_server.sh start ${wine_prefix})
add_test(NAME WineServerStop COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows/wine_server.sh stop ${wine_prefix})
set_tests_properties(WineServerStart PROPERTIES FIXTURES_SETUP wine_server)
set_tests_properties(WineServerStop PROPERTIES FIXTURES_CLEANUP wine_server)

# tavi-cli.exe end to end: the Linux build's tests of tavi-cli, with their virtual printers,
# running this build's tavi-cli.exe through Wine instead of the Linux tavi-cli. One definition of
# every rule: the same test sources check both programs. Left out: what Windows has no
# counterpart of (FIFOs, /dev/zero).
set(TAVI_LINUX_BUILD "" CACHE PATH "A Linux build of this tree whose tavi-cli tests run tavi-cli.exe")
if(TAVI_LINUX_BUILD AND TARGET tavi-cli)
  set(cli_command "'${CMAKE_SOURCE_DIR}/cmake/wine-run.sh' '${wine_prefix}' '$<TARGET_FILE:tavi-cli>'")
  set(linux_tests ${TAVI_LINUX_BUILD}/tests)
  add_test(NAME CliExeAgainstTheVirtualPrinter
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows/run_linux_test.sh ${linux_tests}/test_cli_cli_printer
            --gtest_filter=-*Fifo*)
  set_tests_properties(CliExeAgainstTheVirtualPrinter PROPERTIES
    ENVIRONMENT "TAVI_CLI_COMMAND=${cli_command};TAVI_BIN_DIR=${TAVI_LINUX_BUILD}/bin"
    FIXTURES_REQUIRED wine_server LABELS "windows;cli")
endif()

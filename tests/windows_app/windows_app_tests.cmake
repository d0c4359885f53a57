# The native windows of tavi.exe, included from tests/CMakeLists.txt in the Windows build. Window
# programs need an X server: each runs under xvfb-run in a private Wine prefix of its own.
if(NOT TARGET tavi_win_app)
  return()
endif()
find_program(XVFB_RUN xvfb-run)
find_program(WINE wine)
if(NOT XVFB_RUN OR NOT WINE)
  return()
endif()
set(windows_app_dir ${CMAKE_CURRENT_SOURCE_DIR}/windows_app)

add_executable(test_windows_app_native_dialogs ${windows_app_dir}/native_dialogs_test.cpp)
target_link_libraries(test_windows_app_native_dialogs PRIVATE tavi_win_app GTest::gtest_main
                      tavi_warnings)
set_target_properties(test_windows_app_native_dialogs PROPERTIES
                      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
add_test(NAME WindowsApp.NativeDialogs
         COMMAND ${windows_app_dir}/run_in_wine_display.sh
                 $<TARGET_FILE:test_windows_app_native_dialogs>)
set_tests_properties(WindowsApp.NativeDialogs PROPERTIES LABELS "windows;app" TIMEOUT 180)

# tavi.exe against the Linux build's virtual printer.
add_executable(test_windows_app_tavi_exe_e2e ${windows_app_dir}/tavi_exe_e2e_test.cpp)
target_link_libraries(test_windows_app_tavi_exe_e2e PRIVATE tavi_win_app GTest::gtest_main
                      tavi_warnings)
set_target_properties(test_windows_app_tavi_exe_e2e PROPERTIES
                      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
if(TAVI_LINUX_BUILD AND TARGET tavi)
  add_test(NAME WindowsApp.TaviExeAgainstTheVirtualPrinter
           COMMAND ${windows_app_dir}/run_tavi_exe_e2e.sh ${TAVI_LINUX_BUILD}/bin/tavi-printer-sim
                   $<TARGET_FILE:test_windows_app_tavi_exe_e2e> $<TARGET_FILE:tavi>)
  set_tests_properties(WindowsApp.TaviExeAgainstTheVirtualPrinter PROPERTIES
                       LABELS "windows;app;e2e" TIMEOUT 300)
endif()

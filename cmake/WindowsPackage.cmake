# The Windows zip: tavi.exe (the desktop program), tavi-cli.exe, its manual as text and a README,
# both with Windows line ends.
#   cmake --build build-windows --target windows_zip   (scripts/package-windows)
set(TAVI_WINDOWS_ZIP_NAME tavi-${TAVI_PRODUCT_VERSION}-windows-x64)
set(zip_dir ${CMAKE_BINARY_DIR}/package/${TAVI_WINDOWS_ZIP_NAME})
set(zip_file ${CMAKE_BINARY_DIR}/${TAVI_WINDOWS_ZIP_NAME}.zip)
configure_file(${CMAKE_SOURCE_DIR}/docs/tavi-cli.1.in ${CMAKE_BINARY_DIR}/package/tavi-cli.1 @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/README.txt.in
               ${CMAKE_BINARY_DIR}/package/README.txt @ONLY)
set(text_script ${CMAKE_SOURCE_DIR}/cmake/WindowsText.cmake)
add_custom_command(OUTPUT ${zip_file}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${zip_dir}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${zip_dir}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:tavi> $<TARGET_FILE:tavi-cli> ${zip_dir}/
  COMMAND ${CMAKE_COMMAND} -DIN=${CMAKE_BINARY_DIR}/package/tavi-cli.1 -DOUT=${zip_dir}/tavi-cli.txt
          -DMAN=1 -P ${text_script}
  COMMAND ${CMAKE_COMMAND} -DIN=${CMAKE_BINARY_DIR}/package/README.txt -DOUT=${zip_dir}/README.txt
          -P ${text_script}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${zip_file}
  COMMAND ${CMAKE_COMMAND} -E tar cf ${zip_file} --format=zip ${TAVI_WINDOWS_ZIP_NAME}
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/package
  DEPENDS tavi tavi-cli ${CMAKE_BINARY_DIR}/package/tavi-cli.1 ${CMAKE_BINARY_DIR}/package/README.txt
          ${text_script}
  COMMENT "Packing ${zip_file}")
add_custom_target(windows_zip DEPENDS ${zip_file})

# The Windows downloads, both from one folder of finished files:
#   - tavi-<version>-windows-x64.zip, the portable copy (settings beside the programs);
#   - tavi-<version>-windows-x64.msi, the installer (Program Files\Tavi, settings under %APPDATA%).
# The finished files: tavi.exe and tavi-cli.exe without their debug information (kept in
# dist/*.exe.debug beside the build), signed when a certificate is given (TAVI_SIGN_CERT and
# TAVI_SIGN_KEY, as CMake options or in the environment), the manual, README, licence and
# third-party notices as text with Windows line ends.
#   cmake --build build-windows --target windows_zip windows_msi   (scripts/package-windows)
set(TAVI_SIGN_CERT "" CACHE FILEPATH "Authenticode certificate the shipped programs are signed with")
set(TAVI_SIGN_KEY "" CACHE FILEPATH "The private key of TAVI_SIGN_CERT")
find_program(OSSLSIGNCODE osslsigncode)
find_program(WIXL wixl)
find_program(GROFF groff REQUIRED)

set(TAVI_WINDOWS_ZIP_NAME tavi-${TAVI_PRODUCT_VERSION}-windows-x64)
set(package_dir ${CMAKE_BINARY_DIR}/package)
set(zip_dir ${package_dir}/${TAVI_WINDOWS_ZIP_NAME})
set(zip_file ${CMAKE_BINARY_DIR}/${TAVI_WINDOWS_ZIP_NAME}.zip)
set(msi_file ${CMAKE_BINARY_DIR}/${TAVI_WINDOWS_ZIP_NAME}.msi)
set(dist_dir ${CMAKE_BINARY_DIR}/dist)
set(windows_dir ${CMAKE_SOURCE_DIR}/packaging/windows)
set(text_script ${CMAKE_SOURCE_DIR}/cmake/WindowsText.cmake)
set(finish_script ${CMAKE_SOURCE_DIR}/cmake/WindowsFinishExe.cmake)

# The programs as shipped.
set(finished_exes)
foreach(program tavi tavi-cli)
  set(out ${dist_dir}/${program}.exe)
  add_custom_command(OUTPUT ${out} ${out}.debug
    COMMAND ${CMAKE_COMMAND} -DIN=$<TARGET_FILE:${program}> -DOUT=${out}
            -DOBJCOPY=${CMAKE_OBJCOPY} -DOSSLSIGNCODE=${OSSLSIGNCODE}
            -DCERT=${TAVI_SIGN_CERT} -DKEY=${TAVI_SIGN_KEY} -P ${finish_script}
    DEPENDS ${program} ${finish_script}
    COMMENT "Finishing ${program}.exe" VERBATIM)
  list(APPEND finished_exes ${out})
endforeach()

# The manual of both programs: written for Windows, with tavi-cli's command list made by
# tavi-cli.exe itself (under Wine) from its command table.
set(manual_page ${package_dir}/Manual.man.in)
set(manual_commands ${package_dir}/tavi-cli.commands)
set(TAVI_CLI_COMMANDS "@TAVI_CLI_COMMANDS@")  # kept for the step that puts the list in
configure_file(${windows_dir}/Manual.man.in ${manual_page} @ONLY)
add_custom_command(OUTPUT ${manual_commands}
  COMMAND tavi-cli --print-man-commands > ${manual_commands}
  DEPENDS tavi-cli VERBATIM)
add_custom_command(OUTPUT ${package_dir}/Manual.man
  COMMAND ${CMAKE_COMMAND} -DPAGE=${manual_page} -DCOMMANDS=${manual_commands}
          -DOUT=${package_dir}/Manual.man -P ${CMAKE_SOURCE_DIR}/packaging/insert_man_commands.cmake
  DEPENDS ${manual_page} ${manual_commands} ${CMAKE_SOURCE_DIR}/packaging/insert_man_commands.cmake
  VERBATIM)
configure_file(${windows_dir}/README.txt.in ${package_dir}/README.txt @ONLY)

set(texts Manual.txt README.txt LICENSE.txt THIRD-PARTY-NOTICES.txt)
set(text_commands
  COMMAND ${CMAKE_COMMAND} -DIN=${package_dir}/Manual.man -DOUT=${zip_dir}/Manual.txt -DMAN=1
          -P ${text_script}
  COMMAND ${CMAKE_COMMAND} -DIN=${package_dir}/README.txt -DOUT=${zip_dir}/README.txt
          -P ${text_script})
foreach(text LICENSE.txt THIRD-PARTY-NOTICES.txt)
  list(APPEND text_commands COMMAND ${CMAKE_COMMAND} -DIN=${windows_dir}/${text}
       -DOUT=${zip_dir}/${text} -P ${text_script})
endforeach()

# The folder both downloads are made from.
set(stamp ${package_dir}/files.stamp)
add_custom_command(OUTPUT ${stamp}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${zip_dir}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${zip_dir}
  COMMAND ${CMAKE_COMMAND} -E copy ${finished_exes} ${zip_dir}/
  ${text_commands}
  COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
  DEPENDS ${finished_exes} ${package_dir}/Manual.man ${package_dir}/README.txt
          ${windows_dir}/LICENSE.txt ${windows_dir}/THIRD-PARTY-NOTICES.txt ${text_script}
  COMMENT "Gathering the Windows files in ${zip_dir}" VERBATIM)

add_custom_command(OUTPUT ${zip_file}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${zip_file}
  COMMAND ${CMAKE_COMMAND} -E tar cf ${zip_file} --format=zip ${TAVI_WINDOWS_ZIP_NAME}
  WORKING_DIRECTORY ${package_dir}
  DEPENDS ${stamp}
  COMMENT "Packing ${zip_file}" VERBATIM)
add_custom_target(windows_zip DEPENDS ${zip_file})

if(WIXL)
  # wixl takes the files' paths relative to where it runs.
  file(RELATIVE_PATH icon ${CMAKE_BINARY_DIR} ${TAVI_ICO})
  add_custom_command(OUTPUT ${msi_file}
    COMMAND ${WIXL} -a x64 -D Version=${TAVI_PRODUCT_VERSION}
            -D Stage=package/${TAVI_WINDOWS_ZIP_NAME} -D Icon=${icon} -o ${msi_file}
            ${windows_dir}/tavi.wxs
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    DEPENDS ${stamp} ${windows_dir}/tavi.wxs tavi_icon
    COMMENT "Building ${msi_file}" VERBATIM)
  add_custom_target(windows_msi DEPENDS ${msi_file})
endif()

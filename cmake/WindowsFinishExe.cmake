# cmake -DIN=EXE -DOUT=EXE -DOBJCOPY=TOOL [-DOSSLSIGNCODE=TOOL] [-DCERT=FILE -DKEY=FILE] -P WindowsFinishExe.cmake
# Makes the shipped copy OUT of the linked program IN: its debug information and symbols go to
# OUT.debug beside it, OUT keeps only a link to that file; then OUT is signed (Authenticode) with the
# certificate CERT and its private key KEY (PEM or DER; the key's password, if any, in the
# environment as TAVI_SIGN_PASS). Without CERT and KEY, they come from the environment
# (TAVI_SIGN_CERT, TAVI_SIGN_KEY); with none, OUT stays unsigned and this says so.
if(NOT CERT AND DEFINED ENV{TAVI_SIGN_CERT})
  set(CERT "$ENV{TAVI_SIGN_CERT}")
endif()
if(NOT KEY AND DEFINED ENV{TAVI_SIGN_KEY})
  set(KEY "$ENV{TAVI_SIGN_KEY}")
endif()
get_filename_component(IN "${IN}" ABSOLUTE)
get_filename_component(OUT "${OUT}" ABSOLUTE)
get_filename_component(out_dir "${OUT}" DIRECTORY)
get_filename_component(out_name "${OUT}" NAME)
file(MAKE_DIRECTORY "${out_dir}")
set(debug "${OUT}.debug")
execute_process(COMMAND "${OBJCOPY}" --only-keep-debug "${IN}" "${debug}" COMMAND_ERROR_IS_FATAL ANY)
# The link is made in OUT's folder, where the debugger looks for the file it names.
execute_process(COMMAND "${OBJCOPY}" --strip-all "--add-gnu-debuglink=${out_name}.debug"
                        "${IN}" "${OUT}.stripped"
                WORKING_DIRECTORY "${out_dir}" COMMAND_ERROR_IS_FATAL ANY)
if(CERT AND KEY)
  if(NOT OSSLSIGNCODE)
    message(FATAL_ERROR "signing ${out_name} needs osslsigncode")
  endif()
  set(pass)
  if(DEFINED ENV{TAVI_SIGN_PASS})
    set(pass -pass "$ENV{TAVI_SIGN_PASS}")
  endif()
  file(REMOVE "${OUT}")
  execute_process(COMMAND "${OSSLSIGNCODE}" sign -certs "${CERT}" -key "${KEY}" ${pass}
                          -h sha256 -n Tavi -i https://tavi.org/ -in "${OUT}.stripped" -out "${OUT}"
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE "${OUT}.stripped")
  message(STATUS "${out_name}: signed with ${CERT}")
else()
  file(RENAME "${OUT}.stripped" "${OUT}")
  message(STATUS "${out_name}: unsigned (no TAVI_SIGN_CERT and TAVI_SIGN_KEY given)")
endif()

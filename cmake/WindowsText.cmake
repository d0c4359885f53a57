# cmake -DIN=FILE -DOUT=FILE [-DMAN=1] -P WindowsText.cmake
# Writes IN to OUT with Windows line ends; with MAN, IN is a manual page rendered as plain text.
if(MAN)
  execute_process(COMMAND groff -man -Tascii -P-c -P-b -P-u ${IN}
                  OUTPUT_VARIABLE text COMMAND_ERROR_IS_FATAL ANY)
else()
  file(READ ${IN} text)
endif()
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUT} "${text}")

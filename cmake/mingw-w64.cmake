# Cross-building for 64-bit Windows with Debian's mingw-w64 (posix thread model, for std::thread).
# Everything is linked statically, so the programs run without the compiler's DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TAVI_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${TAVI_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAVI_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TAVI_MINGW_TRIPLE}-windres)

# Libraries and packages come from the mingw tree only; programs (the host's tools) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${TAVI_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No pkg-config look-ups: the host's .pc files describe Linux libraries.
set(PKG_CONFIG_EXECUTABLE "" CACHE FILEPATH "No pkg-config when cross-building" FORCE)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests run through Wine (a private prefix under the build tree; see cmake/wine-run.sh).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${CMAKE_BINARY_DIR}/wine-prefix)

# The win32 threads flavour: the program uses no threads, and the posix one
# links in a threads runtime that imports what Windows 95, NT 4.0 and XP lack.
set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-win32)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-win32)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Installers copy one file: no libstdc++, libgcc or winpthread DLLs beside it.
# The header names the floor as the operating system and subsystem version
# the loader checks, and carries no time stamp, so a rebuild gives the same bytes.
string(REGEX REPLACE "^0x0?([0-9])0([0-9])$" "\\1;\\2" MORVEX_WINDOWS_FLOOR_VERSION ${MORVEX_WINDOWS_FLOOR})
list(GET MORVEX_WINDOWS_FLOOR_VERSION 0 floor_major)
list(GET MORVEX_WINDOWS_FLOOR_VERSION 1 floor_minor)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp \
-Wl,--major-os-version,${floor_major},--minor-os-version,${floor_minor} \
-Wl,--major-subsystem-version,${floor_major},--minor-subsystem-version,${floor_minor}")

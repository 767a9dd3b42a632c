# Cross build for 64-bit Windows with Debian's MinGW-w64, for setups that run
# only 64-bit programs: it must start on XP x64 and Server 2003 on.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLE x86_64-w64-mingw32)
set(MORVEX_WINDOWS_FLOOR 0x0502)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

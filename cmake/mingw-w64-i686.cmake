# Cross build for 32-bit Windows with Debian's MinGW-w64: the program an
# installer ships, which must start on Windows 95 and NT 4.0 as on today's.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_TRIPLE i686-w64-mingw32)
set(MORVEX_WINDOWS_FLOOR 0x0400)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

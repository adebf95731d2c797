# Cross-builds the Windows DLL with Debian's mingw-w64 (i686). The posix thread model gives the
# full C++ threading library; everything is linked statically, so no MinGW runtime DLL ships.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(WEBQUORREL_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# What both mingw-w64 toolchain files set once they have named CMAKE_SYSTEM_PROCESSOR and
# WEBQUORREL_MINGW_TRIPLET: Debian's posix-thread-model compilers and tools of that triplet, and
# libraries and headers from its sysroot only.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${WEBQUORREL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${WEBQUORREL_MINGW_TRIPLET}-g++-posix)
# GCC 12 reports false -Wrestrict overlaps inside libstdc++'s string concatenation when it
# inlines it (GCC bug 105329); with -Werror that would stop the build.
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")
set(CMAKE_RC_COMPILER ${WEBQUORREL_MINGW_TRIPLET}-windres)
set(WEBQUORREL_WIDL ${WEBQUORREL_MINGW_TRIPLET}-widl)

set(CMAKE_FIND_ROOT_PATH /usr/${WEBQUORREL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Shared by the MinGW-w64 toolchain files, which set _mingw_triplet and CMAKE_SYSTEM_PROCESSOR first: Debian's
# MinGW-w64 GCC with the posix thread model (std::thread). ctest runs the Windows executables under Wine when it
# is installed.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${_mingw_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_mingw_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${_mingw_triplet}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_mingw_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Each build names the Wine loader that starts its own programs. Debian's `wine` command picks the 32-bit
# loader whenever that is installed, and a machine that cannot execute 32-bit programs cannot start it, although
# the 64-bit loader runs the 64-bit program there.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86")
    set(_wine_loaders wine)
else()
    set(_wine_loaders wine64 wine)
endif()
find_program(COPPERTROWEL_WINE_LOADER NAMES ${_wine_loaders} PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(COPPERTROWEL_WINE_LOADER NAMES ${_wine_loaders})
if(COPPERTROWEL_WINE_LOADER)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${COPPERTROWEL_WINE_LOADER})
endif()

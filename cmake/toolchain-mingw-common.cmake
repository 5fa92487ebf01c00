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

find_program(COPPERTROWEL_WINE wine)
if(COPPERTROWEL_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${COPPERTROWEL_WINE})
endif()

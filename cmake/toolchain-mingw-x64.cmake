# Cross build of the 64-bit Windows program.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(_mingw_triplet x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)

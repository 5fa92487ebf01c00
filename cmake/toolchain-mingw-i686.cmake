# Cross build of the 32-bit Windows program.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(_mingw_triplet i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)

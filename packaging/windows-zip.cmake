# CPack configuration of the Windows zip: the 32-bit and the 64-bit program side by side, each in a folder
# named after it, with the README and the copyright. scripts/package.sh runs it with the two MinGW-w64 build
# trees:
#   COPPERTROWEL_WINDOWS_32=BUILD COPPERTROWEL_WINDOWS_64=BUILD cpack --config packaging/windows-zip.cmake
# Their install rules put the .exe at the top of the prefix; the README and the copyright are their component
# Documentation, taken once.
foreach(_bits 32 64)
    set(_build_${_bits} $ENV{COPPERTROWEL_WINDOWS_${_bits}})
    if(NOT EXISTS "${_build_${_bits}}/CPackConfig.cmake")
        message(FATAL_ERROR "COPPERTROWEL_WINDOWS_${_bits} must name a configured ${_bits}-bit Windows build")
    endif()
endforeach()

# Name, version, description and the ZIP generator, as the 64-bit build's configure step wrote them.
include(${_build_64}/CPackConfig.cmake)

set(CPACK_INSTALL_CMAKE_PROJECTS
    "${_build_32};coppertrowel;ALL;/32-bit"
    "${_build_64};coppertrowel;ALL;/64-bit"
    "${_build_64};coppertrowel;Documentation;/")

# Every warning is worth a look in a program this small. The project's presets and CI make them errors with
# CMake's own CMAKE_COMPILE_WARNING_AS_ERROR; a plain build leaves that off, so that a newer compiler's new
# warning cannot stop a user's build of a release.
function(coppertrowel_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
endfunction()

# Every warning is worth a look in a program this small: the project's presets and CI make them errors. A
# plain build leaves that off, so that a newer compiler's new warning cannot stop a user's build of a release.
option(COPPERTROWEL_WERROR "Treat warnings as errors" OFF)
function(coppertrowel_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    if(COPPERTROWEL_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

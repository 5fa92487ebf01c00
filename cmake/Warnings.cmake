# Warnings are errors everywhere: the program is small enough that every warning is worth a look.
function(coppertrowel_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
endfunction()

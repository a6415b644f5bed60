# Every target of ours builds warning-free; a new warning fails the build rather than
# scrolling past unread.
function(taktwerk_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /WX)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wconversion -Werror)
    endif()
endfunction()

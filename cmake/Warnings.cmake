# Every target of ours builds warning-free; a new warning fails the build rather than
# scrolling past unread.
function(taktwerk_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /WX)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wconversion -Werror)
        # Clang's -Wconversion also warns on every signed/unsigned change, which GCC (the
        # compiler the code is written against) does not; Clang builds (fuzzing) keep to GCC's set.
        if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
            target_compile_options(${target} PRIVATE -Wno-sign-conversion)
        endif()
        # The fuzz build (Clang) looks for crashes; GCC's build is where warnings are judged,
        # so a warning only Clang gives must not keep the fuzzers from building.
        if(TAKTWERK_FUZZ)
            target_compile_options(${target} PRIVATE -Wno-error)
        endif()
    endif()
endfunction()

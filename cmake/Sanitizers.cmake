# TAKTWERK_SANITIZE: build everything (our code, tests and tools) with sanitizers, e.g.
# "address,undefined" or "thread". A sanitizer must see every object of the program, so the
# flags go to the whole build here rather than to single targets. Any finding stops the
# program, so a test that trips one fails instead of printing a warning nobody reads.
set(TAKTWERK_SANITIZE "" CACHE STRING
    "Sanitizers to build with: address,undefined or thread (empty: none)")

if(TAKTWERK_SANITIZE)
    if(MSVC)
        message(FATAL_ERROR "TAKTWERK_SANITIZE needs GCC or Clang")
    endif()
    set(taktwerk_sanitize_flags -fsanitize=${TAKTWERK_SANITIZE} -fno-omit-frame-pointer)
    if(TAKTWERK_SANITIZE MATCHES "undefined")
        list(APPEND taktwerk_sanitize_flags -fno-sanitize-recover=undefined)
    endif()
    add_compile_options(${taktwerk_sanitize_flags})
    # ThreadSanitizer cannot follow a lone std::atomic_thread_fence (GCC warns). Our fences
    # only order accesses to atomics, which TSan checks by themselves, so the warning goes.
    if(TAKTWERK_SANITIZE MATCHES "thread" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        add_compile_options(-Wno-tsan)
    endif()
    add_link_options(${taktwerk_sanitize_flags})
    message(STATUS "Sanitizers: ${TAKTWERK_SANITIZE}")
endif()

# TAKTWERK_FUZZ: the libFuzzer targets in fuzz/. Every object gets libFuzzer's coverage
# instrumentation; only the fuzz executables link its main().
option(TAKTWERK_FUZZ "Build the libFuzzer targets (Clang only)" OFF)
if(TAKTWERK_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "TAKTWERK_FUZZ needs Clang (CXX=clang++)")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# add_mingw_program(TARGET OUTPUT SOURCE...): a small Windows console program, cross-built
# with MinGW-w64 inside a build for this machine, for the Linux program to run under wine.
# Linked statically and stripped, as vantor.exe ships; it may use the platform layer's
# headers and advapi32.
find_program(VANTOR_MINGW_CXX x86_64-w64-mingw32-g++-posix REQUIRED)

function(add_mingw_program target output)
  set(sources ${ARGN})
  file(GLOB platform_headers ${PROJECT_SOURCE_DIR}/src/platform/*.h ${PROJECT_SOURCE_DIR}/src/registry/*.h)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${VANTOR_MINGW_CXX} -std=c++20 -O2 -Wall -Wextra -Wpedantic -static -s
            -I${PROJECT_SOURCE_DIR}/src/platform -I${PROJECT_SOURCE_DIR}/src/registry
            -o ${output} ${sources} -ladvapi32
    DEPENDS ${sources} ${platform_headers}
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${output})
endfunction()

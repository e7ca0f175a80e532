# add_mingw_program(TARGET OUTPUT ARCH SOURCE...): a small Windows console program for ARCH
# (x86_64 or i686), cross-built with MinGW-w64 inside a build for this machine, for the Linux
# program to run under wine. Linked statically and stripped, as vantor.exe ships; it may use
# the platform layer's headers and advapi32.
function(add_mingw_program target output arch)
  find_program(VANTOR_MINGW_CXX_${arch} ${arch}-w64-mingw32-g++-posix REQUIRED)
  set(sources ${ARGN})
  set(defines ${VANTOR_WINDOWS_API})
  list(TRANSFORM defines PREPEND -D)
  file(GLOB platform_headers ${PROJECT_SOURCE_DIR}/src/platform/*.h ${PROJECT_SOURCE_DIR}/src/registry/*.h)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${VANTOR_MINGW_CXX_${arch}} -std=c++20 -O2 -Wall -Wextra -Wpedantic -static -s ${defines}
            -I${PROJECT_SOURCE_DIR}/src -I${PROJECT_SOURCE_DIR}
            -o ${output} ${sources} -ladvapi32
    DEPENDS ${sources} ${platform_headers}
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${output})
endfunction()

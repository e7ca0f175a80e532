# The Windows programs that the Linux build runs under wine (the Wine bridges and, for the
# benchmarks, their baseline) come from this same project built for Windows: one MinGW-w64
# cross build for each kind of Wine prefix, configured with the toolchain file beside this
# one and building only those targets, without the program and the tests. The sub-build runs at every build
# and its own Ninja rebuilds what a changed source or header touches.
include(ExternalProject)

set(VANTOR_WINDOWS_TARGETS vantor-wine-bridge)
if(VANTOR_BUILD_BENCH)
  list(APPEND VANTOR_WINDOWS_TARGETS wine_keystroke_baseline)
endif()
set(VANTOR_WINEARCHS win64 win32)
set(VANTOR_MINGW_ARCHES x86_64 i686)

# Where the sub-build for winearch prefixes puts its programs: TARGET-WINEARCH.exe.
function(vantor_windows_programs_folder winearch result)
  set(${result} ${PROJECT_BINARY_DIR}/windows-${winearch}/programs PARENT_SCOPE)
endfunction()

foreach(winearch arch IN ZIP_LISTS VANTOR_WINEARCHS VANTOR_MINGW_ARCHES)
  vantor_windows_programs_folder(${winearch} programs)
  set(built ${VANTOR_WINDOWS_TARGETS})
  list(TRANSFORM built REPLACE "^(.+)$" "${programs}/\\1-${winearch}.exe")
  ExternalProject_Add(windows-${winearch}
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${PROJECT_BINARY_DIR}/windows-${winearch}
    CMAKE_ARGS --toolchain ${PROJECT_SOURCE_DIR}/cmake/mingw-w64-${arch}.cmake -DCMAKE_BUILD_TYPE=Release
               -DVANTOR_BUILD_APP=OFF -DVANTOR_BUILD_TESTS=OFF -DVANTOR_BUILD_BENCH=${VANTOR_BUILD_BENCH}
               -DCMAKE_RUNTIME_OUTPUT_DIRECTORY=${programs}
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target ${VANTOR_WINDOWS_TARGETS}
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${built}
    INSTALL_COMMAND "")
endforeach()

# vantor_take_windows_program(TARGET WINEARCH FOLDER): the sub-build's TARGET for winearch
# prefixes as FOLDER/TARGET-WINEARCH.exe, made by a target of that name.
function(vantor_take_windows_program target winearch folder)
  vantor_windows_programs_folder(${winearch} programs)
  set(taken ${folder}/${target}-${winearch}.exe)
  add_custom_command(
    OUTPUT ${taken}
    COMMAND ${CMAKE_COMMAND} -E copy ${programs}/${target}-${winearch}.exe ${taken}
    DEPENDS ${programs}/${target}-${winearch}.exe windows-${winearch}
    VERBATIM)
  add_custom_target(${target}-${winearch} ALL DEPENDS ${taken})
endfunction()

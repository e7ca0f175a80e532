# cmake -DBUILD=DIR -DPREFIX=DIR -DBINDIR=DIR -DBRIDGES=DIR -DDESKTOP_FILE_VALIDATE=PATH -P
# CheckInstall.cmake: installs the build into PREFIX, emptied first, and fails unless the
# programs (in BINDIR, the Wine bridges in BRIDGES, both under PREFIX), the desktop entry
# (with nothing for desktop-file-validate to say) and the icon theme's pictures land there.
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX} RESULT_VARIABLE result
                OUTPUT_QUIET ERROR_VARIABLE said)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install ${BUILD} failed: ${said}")
endif()

# The program runs from where it lands, and the Wine bridge is a Windows program.
execute_process(COMMAND ${PREFIX}/${BINDIR}/vantor --version OUTPUT_VARIABLE version RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR NOT version MATCHES "^vantor [0-9]")
  message(FATAL_ERROR "the installed vantor --version gave ${result}: ${version}")
endif()
if(NOT EXISTS ${PREFIX}/${BINDIR}/vantor-reg)
  message(FATAL_ERROR "no ${BINDIR}/vantor-reg")
endif()
foreach(winearch win64 win32)
  set(bridge ${BRIDGES}/vantor-wine-bridge-${winearch}.exe)
  file(READ ${PREFIX}/${bridge} start LIMIT 2 HEX)
  if(NOT start STREQUAL "4d5a")  # "MZ"
    message(FATAL_ERROR "${bridge} is no Windows program")
  endif()
endforeach()

# The installed vantor finds its bridges from its own folder: only then does it get as far
# as starting Wine, here one that ends at once.
set(prefix ${PREFIX}/wine-prefix)
file(WRITE ${prefix}/system.reg "WINE REGISTRY Version 2\n\n#arch=win64\n")
file(COPY_FILE ${prefix}/system.reg ${prefix}/user.reg)
execute_process(COMMAND ${CMAKE_COMMAND} -E env WINE=/bin/false QT_QPA_PLATFORM=offscreen
                        ${PREFIX}/${BINDIR}/vantor --wine=${prefix} ERROR_VARIABLE said OUTPUT_QUIET)
file(REMOVE_RECURSE ${prefix})
if(NOT said MATCHES "\\(/bin/false ended with exit code 1\\)")
  message(FATAL_ERROR "the installed vantor does not find its Wine bridge: ${said}")
endif()

execute_process(COMMAND ${DESKTOP_FILE_VALIDATE} ${PREFIX}/share/applications/vantor.desktop
                OUTPUT_VARIABLE said ERROR_VARIABLE said RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR NOT said STREQUAL "")
  message(FATAL_ERROR "desktop-file-validate: ${said}")
endif()

# Each picture of the icon theme is a PNG of the size its folder names: the width and height
# are bytes 16 to 23, after the signature and the IHDR chunk's length and type.
foreach(size 16 32 48 256)
  set(picture ${PREFIX}/share/icons/hicolor/${size}x${size}/apps/vantor.png)
  if(NOT EXISTS ${picture})
    message(FATAL_ERROR "no ${picture}")
  endif()
  file(READ ${picture} header LIMIT 24 HEX)
  string(SUBSTRING "${header}" 0 32 signature)
  string(SUBSTRING "${header}" 32 8 width)
  string(SUBSTRING "${header}" 40 8 height)
  math(EXPR width "0x${width}")
  math(EXPR height "0x${height}")
  if(NOT signature STREQUAL "89504e470d0a1a0a0000000d49484452" OR NOT width EQUAL size OR NOT height EQUAL size)
    message(FATAL_ERROR "${picture} is no PNG of ${size} by ${size} pixels")
  endif()
endforeach()
if(NOT EXISTS ${PREFIX}/share/icons/hicolor/scalable/apps/vantor.svg)
  message(FATAL_ERROR "no scalable icon")
endif()

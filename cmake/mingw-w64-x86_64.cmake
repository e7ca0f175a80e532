# Cross-compiles for 64-bit Windows with MinGW-w64; its suites run in 64-bit Wine prefixes.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VANTOR_WINEARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

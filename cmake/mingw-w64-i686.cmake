# Cross-compiles for 32-bit Windows with MinGW-w64: the program for 32-bit Windows, which runs
# on 64-bit Windows too. Its suites run in 32-bit Wine prefixes, where the messenger lives.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VANTOR_WINEARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

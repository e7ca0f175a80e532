# The MinGW-w64 cross build for CMAKE_SYSTEM_PROCESSOR (x86_64 or i686), whose suites run in
# Wine prefixes of VANTOR_WINEARCH; mingw-w64-x86_64.cmake and mingw-w64-i686.cmake set both.
# The posix threads variant of the compilers gives GoogleTest the std::thread and std::mutex
# it wants; everything is linked statically, so the .exe needs no DLL that Windows doesn't ship.
set(CMAKE_SYSTEM_NAME Windows)

set(VANTOR_MINGW_TRIPLET ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${VANTOR_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VANTOR_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VANTOR_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VANTOR_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# A release build is the program as it ships: without its symbol table, which Wine would
# otherwise read in with the rest of the file at every start.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")

# Test executables run under Wine, each in a fresh prefix of the build's architecture, when
# ctest is used from a Linux host.
find_program(VANTOR_WINE_PREFIX wine-prefix PATHS ${CMAKE_CURRENT_LIST_DIR}/../scripts NO_DEFAULT_PATH)
if(VANTOR_WINE_PREFIX)
  set(CMAKE_CROSSCOMPILING_EMULATOR env WINEARCH=${VANTOR_WINEARCH} ${VANTOR_WINE_PREFIX} with wine)
endif()

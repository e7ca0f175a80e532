# Cross-compiles for 64-bit Windows with MinGW-w64. The posix threads variant of the
# compilers gives GoogleTest the std::thread and std::mutex it wants; everything is linked
# statically, so the .exe needs no DLL that Windows doesn't ship.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VANTOR_MINGW_TRIPLET x86_64-w64-mingw32)
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

# Test executables run under Wine, each in a fresh prefix, when ctest is used from a Linux host.
find_program(VANTOR_WINE_PREFIX wine-prefix PATHS ${CMAKE_CURRENT_LIST_DIR}/../scripts NO_DEFAULT_PATH)
if(VANTOR_WINE_PREFIX)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VANTOR_WINE_PREFIX} with wine)
endif()

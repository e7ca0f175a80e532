# cmake -DOBJDUMP=... -DPROGRAM=vantor.exe -P CheckImports.cmake: fails unless the program
# imports DLLs that every Windows has, and no other; -static puts the C++ runtime and
# winpthreads into the .exe itself.
cmake_minimum_required(VERSION 3.25)
set(system_dlls ADVAPI32.DLL GDI32.DLL KERNEL32.DLL MSVCRT.DLL USER32.DLL)

execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE headers RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} could not read ${PROGRAM}")
endif()
string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${headers}")
if(NOT imports)
  message(FATAL_ERROR "${PROGRAM} imports no DLL at all: not a Windows program?")
endif()
foreach(import IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${import}")
  string(TOUPPER "${dll}" dll)
  if(NOT dll IN_LIST system_dlls)
    message(FATAL_ERROR "${PROGRAM} needs ${dll}, which Windows doesn't ship")
  endif()
  message(STATUS "imports ${dll}")
endforeach()

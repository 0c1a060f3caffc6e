# Checks the built scenreg.exe: a GUI program that imports system DLLs only
# and whose manifest, if any, requests no execution level, so that Windows
# treats the 32-bit build as the legacy program it replaces and shows it the
# same virtualized scenery.cfg as the simulator.
# Usage: cmake -DPROGRAM=<exe> -DOBJDUMP=<objdump> -P check_program_image.cmake
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE headers RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot read ${PROGRAM}")
endif()

if(NOT headers MATCHES "Subsystem[\t ]+00000002")
  message(FATAL_ERROR "not a GUI subsystem program")
endif()

set(system_dlls kernel32.dll user32.dll gdi32.dll advapi32.dll msvcrt.dll comctl32.dll)
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${headers}")
foreach(import IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${import}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" dll)
  if(NOT dll IN_LIST system_dlls)
    message(FATAL_ERROR "imports ${dll}, which is not a system DLL")
  endif()
endforeach()

file(STRINGS ${PROGRAM} levels REGEX "requestedExecutionLevel")
if(levels)
  message(FATAL_ERROR "the manifest requests an execution level: ${levels}")
endif()
message(STATUS "${PROGRAM}: GUI, imports ${imports}, no requested execution level")

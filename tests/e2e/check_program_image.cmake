# Checks the built scenreg.exe without running it: a GUI program for the
# expected machine that imports system DLLs only and carries no manifest, so
# that it requests no execution level and Windows treats the 32-bit build as
# the legacy program it replaces, showing it the same virtualized
# scenery.cfg as the simulator.
# Usage: cmake -DPROGRAM=<exe> -DOBJDUMP=<objdump> -DFORMAT=<pei-i386|pei-x86-64>
#              -P check_program_image.cmake
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE headers RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot read ${PROGRAM}")
endif()

if(NOT headers MATCHES "file format ${FORMAT}\n")
  string(REGEX MATCH "file format [^\n]+" found "${headers}")
  message(FATAL_ERROR "not a ${FORMAT} program: ${found}")
endif()

if(NOT headers MATCHES "Subsystem[\t ]+00000002")
  message(FATAL_ERROR "not a GUI subsystem program")
endif()

set(system_dlls kernel32.dll user32.dll gdi32.dll advapi32.dll comctl32.dll msvcrt.dll)
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${headers}")
foreach(import IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${import}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" dll)
  if(NOT dll IN_LIST system_dlls)
    message(FATAL_ERROR "imports ${dll}, which is not a system DLL")
  endif()
endforeach()

# Resource type 24 is RT_MANIFEST.
if(headers MATCHES "Type: 24\n" OR headers MATCHES "Type: 0*18 ")
  message(FATAL_ERROR "the program carries a manifest resource")
endif()
file(STRINGS ${PROGRAM} levels REGEX "requestedExecutionLevel|<assembly")
if(levels)
  message(FATAL_ERROR "the program carries a manifest: ${levels}")
endif()
message(STATUS "${PROGRAM}: ${FORMAT}, GUI, imports ${imports}, no manifest")

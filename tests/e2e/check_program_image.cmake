# Checks the built scenreg.exe without running it: a GUI program for the
# expected machine that imports system DLLs only and carries no manifest, so
# that it requests no execution level and Windows treats the 32-bit build as
# the legacy program it replaces, showing it the same virtualized
# scenery.cfg as the simulator. Its version resource carries the project's
# version, which installers and the file's Properties show.
# Usage: cmake -DPROGRAM=<exe> -DOBJDUMP=<objdump> -DFORMAT=<pei-i386|pei-x86-64>
#              -DWINDRES=<windres> -DVERSION=<major.minor.patch>
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

# The resource compiler reads the image's resources back as a script.
execute_process(COMMAND ${WINDRES} -i ${PROGRAM} -O rc OUTPUT_VARIABLE resources
  RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot read the resources of ${PROGRAM}")
endif()
if(NOT resources MATCHES "\n1 VERSIONINFO\n")
  message(FATAL_ERROR "the program carries no version resource")
endif()
string(REPLACE "." ", " numbers "${VERSION}, 0")
get_filename_component(name ${PROGRAM} NAME)
foreach(line IN ITEMS "FILEVERSION ${numbers}" "PRODUCTVERSION ${numbers}"
    "VALUE \"FileVersion\", \"${VERSION}\"" "VALUE \"ProductVersion\", \"${VERSION}\""
    "VALUE \"OriginalFilename\", \"${name}\"" "VALUE \"ProductName\", \"scenreg\"")
  string(FIND "${resources}" "${line}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the version resource lacks ${line}:\n${resources}")
  endif()
endforeach()
if(NOT resources MATCHES "VALUE \"FileDescription\", \"[^\"]+\"")
  message(FATAL_ERROR "the version resource has no description")
endif()
message(STATUS "${PROGRAM}: ${FORMAT}, GUI, imports ${imports}, no manifest, version ${VERSION}")

# cmake -DOBJDUMP=<objdump> -DBINARY=<file.exe> -P check_imports.cmake
# Fails unless every DLL that BINARY imports ships with Windows itself.
cmake_minimum_required(VERSION 3.25)
set(system_dlls
    kernel32.dll ntdll.dll msvcrt.dll ucrtbase.dll shell32.dll advapi32.dll user32.dll)

execute_process(COMMAND ${OBJDUMP} -p ${BINARY}
                OUTPUT_VARIABLE headers RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${BINARY} failed")
endif()
string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${headers}")
if(NOT imports)
  message(FATAL_ERROR "${BINARY} imports no DLL at all: not a Windows executable?")
endif()

set(foreign "")
foreach(line IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${line}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" name)
  message(STATUS "imports ${dll}")
  # The Universal C Runtime's API sets are part of Windows 10 and later.
  if(NOT name IN_LIST system_dlls AND NOT name MATCHES "^api-ms-win-crt-.*\\.dll$")
    list(APPEND foreign ${dll})
  endif()
endforeach()
if(foreign)
  message(FATAL_ERROR "${BINARY} needs DLLs that Windows does not ship: ${foreign}")
endif()

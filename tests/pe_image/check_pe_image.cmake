# cmake -DOBJDUMP=... -DIMAGE=file.dll [-DEXPORTS=a;b] [-DVERSION=x.y.z] -P check_pe_image.cmake
# Checks a PE image: with EXPORTS, exactly those names exported; every DLL it
# imports a system DLL; with VERSION, a version resource naming it. Prints
# every fault found, then fails.
cmake_minimum_required(VERSION 3.25)

# DLLs every Windows installation has (lower case); the API sets too.
set(system_dlls
    advapi32.dll bcrypt.dll cfgmgr32.dll crypt32.dll gdi32.dll iphlpapi.dll kernel32.dll
    msvcrt.dll ntdll.dll ole32.dll oleaut32.dll rpcrt4.dll setupapi.dll shell32.dll
    shlwapi.dll user32.dll version.dll wbemuuid.dll ws2_32.dll)

execute_process(COMMAND "${OBJDUMP}" -p "${IMAGE}" OUTPUT_VARIABLE dump RESULT_VARIABLE status
                ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "objdump -p ${IMAGE} failed: ${errors}")
endif()
string(REPLACE "\n" ";" lines "${dump}")

set(faults "")
if(NOT dump MATCHES "file format pei-x86-64")
  list(APPEND faults "not a PE32+ x86-64 image")
endif()

# Exports: the names listed under "[Ordinal/Name Pointer] Table".
set(exported "")
set(in_names FALSE)
set(imported "")
foreach(line IN LISTS lines)
  if(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
    set(in_names TRUE)
  elseif(in_names AND line MATCHES "^[ \t]+\\[ *[0-9]+\\] (.+)$")
    list(APPEND exported "${CMAKE_MATCH_1}")
  elseif(in_names)
    set(in_names FALSE)
  endif()
  if(line MATCHES "^[ \t]*DLL Name: (.+)$")
    string(STRIP "${CMAKE_MATCH_1}" dll)
    list(APPEND imported "${dll}")
  endif()
endforeach()

if(DEFINED EXPORTS)
  foreach(name IN LISTS EXPORTS)
    if(NOT name IN_LIST exported)
      list(APPEND faults "missing export: ${name}")
    endif()
  endforeach()
  foreach(name IN LISTS exported)
    if(NOT name IN_LIST EXPORTS)
      list(APPEND faults "unexpected export: ${name}")
    endif()
  endforeach()
endif()

foreach(dll IN LISTS imported)
  string(TOLOWER "${dll}" lower)
  if(NOT lower IN_LIST system_dlls AND NOT lower MATCHES "^api-ms-win-")
    list(APPEND faults "non-system import: ${dll}")
  endif()
endforeach()

if(DEFINED VERSION)
  # The version resource's strings are UTF-16. Only plain texts are kept: a
  # stray bracket in the binary's other strings would unbalance the list.
  file(STRINGS "${IMAGE}" texts ENCODING UTF-16LE REGEX "^[A-Za-z0-9 .,-]+$")
  foreach(key FileVersion ProductVersion ProductName)
    list(FIND texts "${key}" at)
    if(at EQUAL -1)
      list(APPEND faults "version resource lacks ${key}")
    endif()
  endforeach()
  list(FIND texts "ProductVersion" at)
  if(NOT at EQUAL -1)
    math(EXPR at "${at} + 1")
    list(GET texts ${at} product_version)
    if(NOT product_version STREQUAL VERSION)
      list(APPEND faults "product version ${product_version}, expected ${VERSION}")
    endif()
  endif()
endif()

list(LENGTH exported export_count)
message(STATUS "${IMAGE}: ${export_count} exports; imports: ${imported}")
if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "${IMAGE}:\n  ${text}")
endif()

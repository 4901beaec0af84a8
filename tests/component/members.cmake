# The member table as `corvella members` prints it must match members.expected line for line,
# and every member in it must stand in the type library with the same name, DISPID and kind, in
# the same order.
#   cmake -DCLI=corvella -DEXPECTED=members.expected -DIDL=corvella.idl -DWORK_DIR=dir -P members.cmake
foreach(variable CLI EXPECTED IDL WORK_DIR)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "${variable} is not set")
  endif()
endforeach()

execute_process(COMMAND "${CLI}" members RESULT_VARIABLE status OUTPUT_VARIABLE output
                ERROR_VARIABLE errors)
file(READ "${EXPECTED}" expected)
set(failures "")
if(NOT status STREQUAL "0" OR NOT errors STREQUAL "")
  string(APPEND failures "corvella members: status ${status}, standard error '${errors}'\n")
endif()
if(NOT output STREQUAL expected)
  file(MAKE_DIRECTORY "${WORK_DIR}")
  file(WRITE "${WORK_DIR}/members.txt" "${output}")
  execute_process(COMMAND diff -u "${EXPECTED}" "${WORK_DIR}/members.txt"
                  OUTPUT_VARIABLE difference)
  string(APPEND failures "the members differ from ${EXPECTED}:\n${difference}\n")
endif()

# The type library's members in order, as "name kind DISPID".
file(READ "${IDL}" idl)
string(REGEX MATCHALL "\\[id\\((0x[0-9A-F]+)\\)(, prop(get|put))?\\] HRESULT [A-Za-z]+" declared
       "${idl}")
set(library "")
foreach(declaration IN LISTS declared)
  string(REGEX MATCH "id\\((0x[0-9A-F]+)\\)" _ "${declaration}")
  set(dispid "${CMAKE_MATCH_1}")
  string(REGEX MATCH "HRESULT ([A-Za-z]+)" _ "${declaration}")
  set(name "${CMAKE_MATCH_1}")
  set(kind method)
  if(declaration MATCHES "propget")
    set(kind get)
  elseif(declaration MATCHES "propput")
    set(kind let)
  endif()
  list(APPEND library "${name} ${kind} ${dispid}")
endforeach()

# The same from the golden file: number, name, kind words, DISPID.
string(REPLACE "\n" ";" lines "${expected}")
set(table "")
foreach(line IN LISTS lines)
  if(line MATCHES "^[0-9]+ +([A-Za-z]+) +(method|property get|property let) +(0x[0-9A-F]+)")
    set(kind method)
    if(CMAKE_MATCH_2 STREQUAL "property get")
      set(kind get)
    elseif(CMAKE_MATCH_2 STREQUAL "property let")
      set(kind let)
    endif()
    list(APPEND table "${CMAKE_MATCH_1} ${kind} ${CMAKE_MATCH_3}")
  endif()
endforeach()
list(LENGTH table count)
if(count EQUAL 0 OR NOT table STREQUAL library)
  string(APPEND failures "the type library differs from the member table:\n"
                         "  table:   ${table}\n  library: ${library}\n")
endif()
if(NOT failures STREQUAL "")
  message(FATAL_ERROR "${failures}")
endif()

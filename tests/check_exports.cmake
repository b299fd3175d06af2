# Compares the symbols a library exports with the checked-in list EXPECTED ("name posix": an
# export of the POSIX build alone). A Windows DLL (OBJDUMP given) exports the list's plain-C
# names exactly; its classes' members carry the compiler's own mangling there, so each
# "Class::member" of the list need only be among its exports. It imports each of IMPORTS
# ("MODULE.dll!Function").
cmake_policy(SET CMP0057 NEW)  # if(... IN_LIST ...)
file(STRINGS ${EXPECTED} expected REGEX "^[^#]")
if(NOT OBJDUMP)
  execute_process(COMMAND nm -D --defined-only ${LIBRARY} OUTPUT_VARIABLE listing COMMAND_ERROR_IS_FATAL ANY)
  # "<address> <type> <name>"; version-node symbols (type A) are not exports.
  string(REGEX MATCHALL "\n[0-9a-fA-F]+ [B-Za-z] [^\n]+" actual "\n${listing}")
  list(TRANSFORM actual REPLACE "^\n[0-9a-fA-F]+ . " "")
  list(TRANSFORM expected REPLACE " +posix$" "")
else()
  execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY} OUTPUT_VARIABLE listing COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n(\t\\[ *[0-9]+\\] [^\n]+\n)*" table "${listing}")
  string(REGEX MATCHALL "\t\\[ *[0-9]+\\] [^\n]+" actual "${table}")
  list(TRANSFORM actual REPLACE "^\t\\[ *[0-9]+\\] " "")
  list(FILTER expected EXCLUDE REGEX " posix$")
  # Class members as "Class::member" without their parameters; a type's name string is not
  # exported there (RTTI compares the type records).
  foreach(names IN ITEMS actual expected)
    set(mangled ${${names}})
    list(FILTER mangled INCLUDE REGEX "^_Z")
    list(FILTER ${names} EXCLUDE REGEX "^_Z")
    # With no names c++filt reads its input, here none.
    execute_process(COMMAND c++filt ${mangled} INPUT_FILE /dev/null OUTPUT_VARIABLE demangled COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX REPLACE "\\([^\n]*" "" demangled "${demangled}")
    string(REGEX MATCHALL "[^\n]+" ${names}_members "${demangled}")
    list(FILTER ${names}_members EXCLUDE REGEX "^typeinfo name for ")
  endforeach()
  foreach(member IN LISTS expected_members)
    if(NOT member IN_LIST actual_members)
      message(SEND_ERROR "${LIBRARY} does not export ${member} of ${EXPECTED}")
    endif()
  endforeach()
  foreach(wanted IN LISTS IMPORTS)
    string(REGEX REPLACE "!.*" "" module "${wanted}")
    string(REGEX REPLACE ".*!" "" function "${wanted}")
    # The module's table: its name, a heading, then one "\t<address>\t <hint>  <name>" a line.
    if(NOT listing MATCHES "\tDLL Name: ${module}\n[^\n]*\n(\t[0-9a-fA-F]+\t[^\n]*\n)*\t[0-9a-fA-F]+\t +[0-9]+ +${function}\n")
      message(SEND_ERROR "${LIBRARY} does not import ${function} from ${module}")
    endif()
  endforeach()
endif()
list(SORT actual)
list(SORT expected)
if(NOT actual STREQUAL expected)
  string(REPLACE ";" "\n  " a "${actual}")
  string(REPLACE ";" "\n  " e "${expected}")
  message(FATAL_ERROR "exports of ${LIBRARY} differ from ${EXPECTED}\nactual:\n  ${a}\nexpected:\n  ${e}")
endif()

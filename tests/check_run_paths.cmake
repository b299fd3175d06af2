# Fails when a binary's run path (DT_RUNPATH or DT_RPATH) has an entry that the loader takes
# relative to the current folder (an empty one, or one starting with neither '/' nor $ORIGIN):
# a library planted in whatever folder the program is started from would run as the user.
#   cmake [-DREADELF=readelf] -DFILES="a;b" -P check_run_paths.cmake
if(NOT READELF)
  set(READELF readelf)
endif()
set(bad "")
foreach(file IN LISTS FILES)
  execute_process(COMMAND ${READELF} -d ${file} OUTPUT_VARIABLE listing COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCHALL "Library (rpath|runpath): \\[[^]\n]*\\]" paths "${listing}")
  foreach(entry IN LISTS paths)
    string(REGEX REPLACE "^Library (rpath|runpath): \\[(.*)\\]$" "\\2" path "${entry}")
    if(NOT "${path}:" MATCHES "^((/[^:]*|\\$ORIGIN(/[^:]*)?|\\$\\{ORIGIN\\}(/[^:]*)?):)+$")
      list(APPEND bad "${file}: [${path}]")
    endif()
  endforeach()
endforeach()
if(bad)
  string(REPLACE ";" "\n  " text "${bad}")
  message(FATAL_ERROR "run paths that search the current folder:\n  ${text}")
endif()

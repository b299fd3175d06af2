# Links a shared library so that exactly the exports of its list (one name a line, '#' starts
# a comment, "name posix" is a POSIX-only export) are dynamic. On Linux the version script is
# made from the list at configure time: plain names and the C++ type records as listed, and
# for each class with a member in the list every member the class marks for export (so that a
# member missing from the list shows in the exports tests instead of being hidden). On Windows
# the DLL exports what its sources mark for export, under the plain name (YdrBM70.dll, not
# libYdrBM70.dll), with its import library beside it; the tests check its table against the
# same list.
function(ydr_apply_export_list target list)
  if(WIN32)
    set_target_properties(${target} PROPERTIES PREFIX "")
    return()
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${list})
  file(STRINGS ${list} names REGEX "^[^#]")
  list(TRANSFORM names REPLACE " +posix$" "")
  set(patterns "")
  foreach(name IN LISTS names)
    if(name MATCHES "^_ZNK?([0-9]+)")  # a member: _ZN or _ZNK, the class name's length, the name
      string(LENGTH "${CMAKE_MATCH_0}" prefix_length)
      string(SUBSTRING "${name}" ${prefix_length} ${CMAKE_MATCH_1} class)
      list(APPEND patterns "_ZN${CMAKE_MATCH_1}${class}*" "_ZNK${CMAKE_MATCH_1}${class}*")
    else()
      list(APPEND patterns "${name}")
    endif()
  endforeach()
  list(REMOVE_DUPLICATES patterns)
  list(JOIN patterns ";\n    " globals)
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}.map)
  file(CONFIGURE OUTPUT ${script} CONTENT "{\n  global:\n    ${globals};\n  local:\n    *;\n};\n" @ONLY)
  target_link_options(${target} PRIVATE "LINKER:--version-script=${script}")
  # clang leaves the sanitizer runtime out of shared libraries; it comes with the program.
  if(NOT (YDR_SANITIZE AND CMAKE_CXX_COMPILER_ID MATCHES "Clang"))
    target_link_options(${target} PRIVATE "LINKER:--no-undefined")
  endif()
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${script})
endfunction()

# Adds to `target` the sources that each system implements its own way: for each name given,
# windows/NAME on Windows and posix/NAME elsewhere, from the calling folder.
function(ydr_system_sources target)
  if(WIN32)
    list(TRANSFORM ARGN PREPEND windows/ OUTPUT_VARIABLE sources)
  else()
    list(TRANSFORM ARGN PREPEND posix/ OUTPUT_VARIABLE sources)
  endif()
  target_sources(${target} PRIVATE ${sources})
endfunction()

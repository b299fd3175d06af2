# Links a shared library with a version script, so that only the listed exports are dynamic.
# On Windows the DLL exports what its sources mark for export, under the plain name
# (YdrBM70.dll, not libYdrBM70.dll), with its import library beside it.
function(ydr_apply_version_script target script)
  if(WIN32)
    set_target_properties(${target} PROPERTIES PREFIX "")
    return()
  endif()
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

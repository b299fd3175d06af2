# Links a shared library with a version script, so that only the listed exports are dynamic.
function(ydr_apply_version_script target script)
  target_link_options(${target} PRIVATE "LINKER:--version-script=${script}" "LINKER:--no-undefined")
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${script})
endfunction()

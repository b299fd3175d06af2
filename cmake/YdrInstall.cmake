# What `cmake --install` puts in a prefix: the two libraries with versioned names and their
# link chain, the public headers, the command with its manual page and bash completion, the
# documents on the formats and on using the library (share/doc/YdrBM70), a
# CMake package (find_package(YdrBM70 CONFIG) gives YdrBM70::YdrBM70 and YdrBM70::YdrBL70) and
# a pkg-config file (ydrbm70). The library finds the base library beside itself ($ORIGIN),
# and the command finds both in ../lib (or beside itself, as in the build tree). Run paths
# only ever name folders relative to the binary, never to the current folder.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set_target_properties(YdrBM70 PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
set_target_properties(YdrBL70 PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
set_target_properties(ydr PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}:$ORIGIN")
target_include_directories(YdrBM70 INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_include_directories(YdrBL70 INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)

install(TARGETS YdrBM70 YdrBL70 EXPORT YdrBM70Targets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_COMPONENT development
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS ydr RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/ydr DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} FILES_MATCHING PATTERN "*.h")
# The documents a program's author reads (the manual page points at them).
install(FILES ${PROJECT_SOURCE_DIR}/docs/formats.md ${PROJECT_SOURCE_DIR}/docs/using.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

install(EXPORT YdrBM70Targets NAMESPACE YdrBM70:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/YdrBM70)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/YdrBM70Config.cmake.in
                              ${PROJECT_BINARY_DIR}/YdrBM70Config.cmake
                              INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/YdrBM70)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/YdrBM70ConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/YdrBM70Config.cmake ${PROJECT_BINARY_DIR}/YdrBM70ConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/YdrBM70)

# Programs built through pkg-config get the library's folder as their run path, so that they
# run against a prefix outside the loader's search (Windows finds DLLs its own way).
set(YDR_PC_RUN_PATH "")
if(NOT WIN32)
  set(YDR_PC_RUN_PATH " -Wl,-rpath,\${libdir}")
endif()
file(RELATIVE_PATH YDR_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
configure_file(${PROJECT_SOURCE_DIR}/cmake/ydrbm70.pc.in ${PROJECT_BINARY_DIR}/ydrbm70.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/ydrbm70.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The manual page and the completion come from the command's own usage text.
if(NOT CMAKE_CROSSCOMPILING)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/ydr.1 ${PROJECT_BINARY_DIR}/ydr.bash-completion
                     COMMAND ydr help --man > ${PROJECT_BINARY_DIR}/ydr.1
                     COMMAND ydr help --bash-completion > ${PROJECT_BINARY_DIR}/ydr.bash-completion
                     DEPENDS ydr YdrBM70 YdrBL70 VERBATIM)
  add_custom_target(ydr_documents ALL DEPENDS ${PROJECT_BINARY_DIR}/ydr.1 ${PROJECT_BINARY_DIR}/ydr.bash-completion)
  install(FILES ${PROJECT_BINARY_DIR}/ydr.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_BINARY_DIR}/ydr.bash-completion DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
          RENAME ydr)
endif()

# The fuzz targets, one per parser: fuzz/targets.txt names them, one a line, and each one's
# source is fuzz/fuzz_<name>.cpp. fuzz/CMakeLists.txt builds them, tests/CMakeLists.txt replays
# their seeds and kept crashers, scripts/fuzz.sh runs them.
file(STRINGS ${PROJECT_SOURCE_DIR}/fuzz/targets.txt YDR_FUZZ_TARGETS)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/fuzz/targets.txt)

# Every target links the internals of both libraries (each parser belongs to one of them) and
# zlib, the stream compressor's peer. Those that go through the library's frame find
# libYdrBL70.so at run time in YDR_BASE_LIBRARY_DIR.
find_package(ZLIB REQUIRED)
function(ydr_link_fuzz_target target)
  target_link_libraries(${target} PRIVATE ydr_core ydr_base_core ZLIB::ZLIB)
  target_compile_definitions(${target} PRIVATE YDR_BASE_LIBRARY_DIR="$<TARGET_FILE_DIR:YdrBL70>")
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/include)
  add_dependencies(${target} YdrBL70)
endfunction()

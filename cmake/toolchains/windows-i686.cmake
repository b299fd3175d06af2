# 32-bit Windows. No 32-bit code runs on these machines, not even under wine: this build is
# checked, not run.
set(YDR_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/windows.cmake)
foreach(kind C CXX)
  set(CMAKE_${kind}_FLAGS_INIT "-msse2 -mfpmath=sse")
endforeach()

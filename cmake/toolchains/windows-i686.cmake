# 32-bit Windows. No 32-bit code runs on these machines, not even under wine: CTest checks this
# build without running it, and make test-win32 runs its tests in an emulated 32-bit machine.
set(YDR_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/windows.cmake)
foreach(kind C CXX)
  set(CMAKE_${kind}_FLAGS_INIT "-msse2 -mfpmath=sse")
endforeach()

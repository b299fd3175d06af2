# 64-bit Windows; programs run under wine.
set(YDR_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/windows.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)

# Windows (i686) built on Linux with mingw-w64: the posix thread model (the win32 one has no
# std::mutex or std::thread) and a static runtime, so the DLLs and programs need nothing
# beside them. Programs run under wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_DLLTOOL i686-w64-mingw32-dlltool)
set(CMAKE_OBJDUMP i686-w64-mingw32-objdump)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
foreach(kind C CXX)
  set(CMAKE_${kind}_FLAGS_INIT "-msse2 -mfpmath=sse")
endforeach()
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-static")
endforeach()
# No 32-bit code runs on these machines, not even under wine: this build is checked, not run.
# zlib (the tests' peer) linked in, so that no zlib1.dll need be found at run time.
set(ZLIB_USE_STATIC_LIBS ON)
set(CMAKE_DISABLE_FIND_PACKAGE_OpenSSL TRUE)

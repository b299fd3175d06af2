# Windows built on Linux with mingw-w64, for the processor that YDR_MINGW_ARCH names (set by
# windows-<arch>.cmake): the posix thread model (the win32 one has no std::mutex or
# std::thread) and a static runtime, so the DLLs and programs need nothing beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${YDR_MINGW_ARCH})
set(CMAKE_C_COMPILER ${YDR_MINGW_ARCH}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${YDR_MINGW_ARCH}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${YDR_MINGW_ARCH}-w64-mingw32-windres)
set(CMAKE_OBJDUMP ${YDR_MINGW_ARCH}-w64-mingw32-objdump)
set(CMAKE_FIND_ROOT_PATH /usr/${YDR_MINGW_ARCH}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-static")
endforeach()
# zlib (the tests' peer) linked in, so that no zlib1.dll need be found at run time.
set(ZLIB_USE_STATIC_LIBS ON)
# No libcrypto is built for Windows here: the tests whose peer it is are left out, and
# `ydr rsa` says it is not built.
set(CMAKE_DISABLE_FIND_PACKAGE_OpenSSL TRUE)

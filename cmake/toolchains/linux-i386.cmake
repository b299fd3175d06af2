# 32-bit x86 Linux built on a 64-bit one: gcc -m32, the 32-bit libraries of the multilib
# packages (/usr/lib32), and programs run through qemu-i386 (machines of this kind refuse 32-bit
# code natively). Everything else -- compilers, CMake, the sources -- is the host's.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
foreach(kind C CXX)
  set(CMAKE_${kind}_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
endforeach()
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-m32")
endforeach()
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(FIND_LIBRARY_USE_LIB32_PATHS TRUE)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386-static -L /)
# pkg-config must not hand out the host's 64-bit libraries.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib32/pkgconfig:/usr/share/pkgconfig)
# There is no 32-bit libcrypto on these machines (only the host's), so none is looked for:
# the tests that use it as a peer are left out, and `ydr rsa` says it is not built.
set(CMAKE_DISABLE_FIND_PACKAGE_OpenSSL TRUE)

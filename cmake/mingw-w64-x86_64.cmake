# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (the POSIX
# threading flavour, g++-mingw-w64-x86-64-posix).  Pass OPENSSL_ROOT_DIR for
# a MinGW build of libcrypto (tools/build-openssl-mingw makes one).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(SIGNCTL_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${SIGNCTL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SIGNCTL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${SIGNCTL_MINGW_TRIPLET}-windres)

# Headers and libraries come from the MinGW sysroot and the folders named
# on the command line, never from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${SIGNCTL_MINGW_TRIPLET})
if(OPENSSL_ROOT_DIR)
  list(APPEND CMAKE_FIND_ROOT_PATH ${OPENSSL_ROOT_DIR})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything linked in, so that the program and the control import only
# system DLLs (no libstdc++, libgcc or winpthread DLL beside them).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

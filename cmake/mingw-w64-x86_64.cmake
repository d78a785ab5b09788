# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (posix thread
# model). The C and C++ runtimes are linked statically, so the DLL and the
# Windows programs need no DLLs beyond the system's own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PPI_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PPI_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PPI_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${PPI_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PPI_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(PPI_STATIC_RUNTIME "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT ${PPI_STATIC_RUNTIME})
set(CMAKE_SHARED_LINKER_FLAGS_INIT ${PPI_STATIC_RUNTIME})
set(CMAKE_MODULE_LINKER_FLAGS_INIT ${PPI_STATIC_RUNTIME})


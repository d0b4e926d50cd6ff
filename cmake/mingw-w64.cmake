# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (GCC with POSIX
# threads, for std::thread and std::mutex). Used for Qt and the other
# libraries as well as for Quorvel itself:
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DQUORVEL_WINDOWS_PREFIX=DIR ...
# QUORVEL_WINDOWS_PREFIX is where the cross-built libraries are installed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_triple}-windres)

# try_compile projects see the prefix too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUORVEL_WINDOWS_PREFIX)
set(CMAKE_FIND_ROOT_PATH /usr/${_triple} ${QUORVEL_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config sees the Windows libraries only, never the host's.
set(ENV{PKG_CONFIG_LIBDIR} "${QUORVEL_WINDOWS_PREFIX}/lib/pkgconfig:/usr/${_triple}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# The C and C++ runtimes (libgcc, libstdc++, winpthread) are linked into every
# program and DLL, so no MinGW DLL has to travel with them. Libraries named by
# full path (the import libraries of our own DLLs) are not affected by -static.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

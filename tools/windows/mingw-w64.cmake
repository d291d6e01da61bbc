# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-compiling for 64-bit Windows with Debian's mingw-w64. The -posix compilers, because Qt
# needs std::thread and std::mutex, which the -win32 flavour lacks.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Every Windows program of the project, build-time tools included, carries its own runtime:
# no libgcc_s_seh-1.dll, libstdc++-6.dll or libwinpthread-1.dll beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# File names in __FILE__ (Qt's warnings name their source files) relative to the source folder:
# no folder of the builder's machine goes into a program.
set(CMAKE_C_FLAGS_INIT "\"-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=\"")
set(CMAKE_CXX_FLAGS_INIT "\"-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=\"")

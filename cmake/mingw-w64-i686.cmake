# Cross toolchain: 32-bit Windows PE binaries with MinGW-w64 (posix thread model).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(QM_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER   ${QM_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QM_TRIPLE}-g++-posix)
set(CMAKE_ASM_COMPILER ${QM_TRIPLE}-gcc-posix)
set(CMAKE_RC_COMPILER  ${QM_TRIPLE}-windres)
set(CMAKE_OBJDUMP      ${QM_TRIPLE}-objdump CACHE FILEPATH "objdump for PE i386")

set(CMAKE_FIND_ROOT_PATH /usr/${QM_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Every binary is fully static: it imports Windows system DLLs only.
set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Release binaries carry no debug sections (the C runtime's static libraries bring some).
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT    "-s")
set(CMAKE_SHARED_LINKER_FLAGS_RELEASE_INIT "-s")
set(CMAKE_MODULE_LINKER_FLAGS_RELEASE_INIT "-s")

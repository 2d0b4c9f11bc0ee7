# The part of the MinGW-w64 toolchain files that does not depend on the processor: included by
# cmake/mingw-i686.cmake and cmake/mingw-x86_64.cmake after they set FEED_MINGW_TRIPLET.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${FEED_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FEED_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${FEED_MINGW_TRIPLET}-windres)
set(CMAKE_DLLTOOL ${FEED_MINGW_TRIPLET}-dlltool)
set(CMAKE_OBJDUMP ${FEED_MINGW_TRIPLET}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${FEED_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static: every archive is taken in place of its DLL (winpthread's above all, which the posix
# compilers would otherwise import); system DLLs come through import archives, so they stay.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")

# Cross build for i686 Windows with the MinGW-w64 compilers of the posix thread model
# (std::thread needs it). The C and C++ runtimes and winpthread are linked in statically, so
# feed.dll needs only system DLLs and TARN.dll.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(FEED_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

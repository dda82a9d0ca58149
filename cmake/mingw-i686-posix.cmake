# The MinGW-w64 cross build with the posix thread model, for the player rig
# (GoogleTest needs std::mutex). The shipped DLLs use mingw-i686.cmake.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
set(CMAKE_C_COMPILER ${ZORBIN_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZORBIN_MINGW_PREFIX}-g++-posix)

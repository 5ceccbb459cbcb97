# Cross-building for 64-bit Windows with MinGW-w64 (Debian's
# g++-mingw-w64-x86-64), posix thread model so std::thread works. Test
# programs run under Wine through cmake/wine-run.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QVL_MINGW_HOST x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QVL_MINGW_HOST}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QVL_MINGW_HOST}-g++-posix)
set(CMAKE_RC_COMPILER ${QVL_MINGW_HOST}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QVL_MINGW_HOST})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)

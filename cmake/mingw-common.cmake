# What both mingw-w64 toolchain files share; they set CMAKE_SYSTEM_PROCESSOR (x86_64, i686) first.
# Programs built here run under Wine through tools/wine-run.
set(CMAKE_SYSTEM_NAME Windows)
set(MD_MINGW_TRIPLET ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
# The -posix compilers: std::thread and the other threading parts of the standard library.
set(CMAKE_C_COMPILER ${MD_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MD_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MD_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MD_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run)

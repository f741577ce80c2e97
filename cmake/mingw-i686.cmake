# Cross-compiling for 32-bit Windows with mingw-w64; programs run under wine64 in its WoW64 mode
# where the kernel runs 32-bit code (tests/CMakeLists.txt, tools/wine32-setup).
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

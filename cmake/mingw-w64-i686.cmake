# Cross build for 32-bit Windows (x86): most hosts of an embeddable control
# are 32-bit programs, which cannot load a 64-bit library.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VANT_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

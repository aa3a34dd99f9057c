# Cross build for 64-bit Windows with Debian's mingw-w64, tests run under Wine.
# mingw-w64-i686.cmake includes this file with the 32-bit target set first.
set(CMAKE_SYSTEM_NAME Windows)
if(NOT VANT_MINGW_PREFIX)
  set(CMAKE_SYSTEM_PROCESSOR x86_64)
  set(VANT_MINGW_PREFIX x86_64-w64-mingw32)
endif()

# The posix-threads compilers: the win32-threads ones lack std::mutex.
set(CMAKE_C_COMPILER ${VANT_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VANT_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VANT_MINGW_PREFIX}-windres)
set(CMAKE_AR ${VANT_MINGW_PREFIX}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${VANT_MINGW_PREFIX}-ranlib CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${VANT_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime: the executables run under Wine without mingw's DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

set(CMAKE_CROSSCOMPILING_EMULATOR wine)
# List the tests when CTest runs (inside the Wine prefix the Windows build
# script prepares), not at build time with whatever prefix the user has.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)

# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix threads model, so
# std::thread and std::mutex work). Used by scripts/build-windows.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VELQUOR_MINGW_PREFIX x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${VELQUOR_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELQUOR_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VELQUOR_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VELQUOR_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Windows 7 and later: CancelIoEx, SetupDiGetDeviceProperty.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE
                        _FILE_OFFSET_BITS=64)
# The programs carry their C and C++ runtime and the thread library, so they run
# without MinGW's DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests run under Wine when ctest runs them.
find_program(VELQUOR_WINE NAMES wine64 wine PATHS /usr/lib/wine)
if(VELQUOR_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VELQUOR_WINE})
endif()

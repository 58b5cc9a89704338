# Windows x64 with the mingw-w64 cross compilers (Debian g++-mingw-w64-x86-64-posix).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Programs built for the target carry the compiler's runtime inside, as the plug-in does, so
# Wine needs no mingw DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
# ctest runs the target's programs under Wine (Debian keeps wine64 out of PATH). The prefix,
# the X server and the quiet debug channels come from scripts/with-wine.
find_program(QUENRA_WINE64 NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(QUENRA_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUENRA_WINE64})
endif()

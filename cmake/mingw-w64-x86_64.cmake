# Cross build for Windows x86-64 with Debian's mingw-w64 (the posix-threads
# flavour: std::thread and std::jthread need it). Programs are linked
# statically, so an .exe needs only the DLLs that come with Windows.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# Libraries are looked for in mingw's own tree and in the prefixes that
# scripts/windows_deps.sh builds (TARVEX_WINDOWS_DEPS, a list).
set(TARVEX_WINDOWS_DEPS "" CACHE STRING "Prefixes of the libraries built for Windows")
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${TARVEX_WINDOWS_DEPS})
# Static zlib: Debian's mingw package has the DLL's import library too, and
# the program would then need zlib1.dll beside it.
set(ZLIB_USE_STATIC_LIBS ON)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Test programs run under Wine, through a script that keeps Wine's own
# services off their output.
find_program(TARVEX_WINE wine)
if(TARVEX_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine_test_run.sh)
endif()

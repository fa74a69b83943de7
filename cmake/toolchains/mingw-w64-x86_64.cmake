# Windows x86-64, cross-compiled with Debian's MinGW-w64 (posix threads),
# linked statically so that mspforge.exe needs no DLL beyond the system's.
# Tests run through Wine (Debian's wine64 package).
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

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# wine64 is not on the PATH in Debian's package. WINEDEBUG=-all keeps
# Wine's own diagnostics out of the test output; the DLL overrides stop a
# new Wine prefix from offering to install .NET and HTML support.
find_program(MSPFORGE_WINE NAMES wine64 wine
             PATHS /usr/lib/wine /usr/lib64/wine NO_CMAKE_FIND_ROOT_PATH)
if(MSPFORGE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_COMMAND} -E env WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
      ${MSPFORGE_WINE})
endif()
